// The program's 8-bit texts are Windows-1252: every text crossing into Qt or back goes through these.
#pragma once

#include <QList>
#include <QString>
#include <string>
#include <string_view>

namespace corvix::qt {

QString FromEightBit(std::string_view text);

// Characters the code page lacks become '?'.
std::string ToEightBit(const QString& text);

}  // namespace corvix::qt
