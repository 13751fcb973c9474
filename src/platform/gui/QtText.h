// The Qt boundary: byte strings in the process code page become QStrings
// only where a widget shows them, and come back the same way.
#pragma once

#include <QString>
#include <string>

QString ToQ(const std::string& strAnsi);
std::string FromQ(const QString& str);

// A label's text as a screen reader says it: without its mnemonic ("&Name",
// or "名称(&N)" as Chinese labels write it) and without a closing colon.
QString SpokenLabel(QString strLabel);
