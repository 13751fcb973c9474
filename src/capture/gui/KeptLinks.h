// Links between kept pages: the address a link of a note's page stands for,
// whichever way the page wrote it.
#pragma once

#include <QString>
#include <QUrl>
#include <string>

// A web or file address as it is. A link the page wrote relative to itself
// reaches the engine resolved against the page's own stored-page address;
// when it names none of the note's own files, it stands for that reference
// resolved against the note's source. Empty for anything else.
std::string KeptLinkAddress(const QUrl& url, const QString& strToken, const std::string& strSource);
