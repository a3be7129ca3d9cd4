// A view that records what the logic asked of the toolkit.
#pragma once

#include <string>
#include <vector>

#include "app/form.h"

namespace corvix::testing {

class RecordingView : public View {
public:
    std::vector<std::string> errors;
    int repaints = 0;
    int closes = 0;

    void RepaintNow() override { ++repaints; }
    void Close() override { ++closes; }
    void ShowError(const std::string& text) override { errors.push_back(text); }
};

}  // namespace corvix::testing
