// The report box: what the core asks when the user reports somebody (a
// reason, a line of words, whether to ignore them too), and its fixed design.
// The kit shows it modally and writes the user's answers back into the form;
// the core decides what is sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "client/kit/graphics.h"

namespace navlet {

// Every kit that places its parts itself places them here; one that lays
// out with its page's own flow (the browser panel) keeps their order.
namespace report_layout {
inline constexpr TRect CLIENT{0, 0, 300, 236};
inline constexpr TRect PROMPT{12, 10, 288, 26};
inline constexpr int32_t REASON_LEFT = 20;
inline constexpr int32_t REASON_TOP = 30;
inline constexpr int32_t REASON_HEIGHT = 19;
inline constexpr int32_t REASON_RIGHT = 288;
inline constexpr TRect TEXT_LABEL{12, 110, 288, 126};
inline constexpr TRect TEXT{12, 128, 288, 150};
inline constexpr TRect ALSO_IGNORE{12, 160, 288, 178};
inline constexpr TRect BEVEL{0, 190, 300, 192};
inline constexpr TRect OK_BUTTON{122, 202, 202, 227};
inline constexpr TRect CANCEL_BUTTON{210, 202, 290, 227};

// The radio button of reason `index`.
constexpr TRect Reason(int index) {
    return TRect{REASON_LEFT, REASON_TOP + index * REASON_HEIGHT, REASON_RIGHT,
                 REASON_TOP + (index + 1) * REASON_HEIGHT - 1};
}
} // namespace report_layout

struct TReportForm {
    std::string caption;              // the box's title
    std::string prompt;               // above the reasons
    std::vector<std::string> reasons; // one radio button each, in this order
    int reason = -1;                  // the chosen one; -1 = none yet, OK waits for one
    std::string textLabel;            // above the line of words
    std::string text;                 // the line; the kit gives back what was typed
    int textMaxLength = 0;            // characters the line takes, at most
    std::string alsoIgnoreCaption;    // the check box
    bool alsoIgnore = true;           // shown checked or not, and given back
    std::string okCaption = "Report"; // the default button
    std::string cancelCaption = "Cancel";
    int modalResult = 0; // MODAL_RESULT_OK when the user sent it
};

} // namespace navlet
