// The Qt boundary: byte strings in the process code page become QStrings
// only where a widget shows them, and come back the same way.
#pragma once

#include <QString>
#include <string>

QString ToQ(const std::string& strAnsi);
std::string FromQ(const QString& str);
