// The library's root error class: every error this program raises carries its message in what().
#pragma once

#include <stdexcept>

namespace qor {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace qor
