// WinSock error codes as the window shows them: "10061:CONNREFUSED".
#pragma once

#include <string>

namespace qor {

// The code in decimal, ":" and the error's name ("ERROR UNKNOWN" for codes not in the table);
// empty for 0.
std::string WinsockErrorText(int code);

}  // namespace qor
