#include "client/core/chat_view.h"

#include <algorithm>

namespace navlet {

std::string TChatLine::Text() const {
    std::string text;
    for (const TTextRun& run : runs)
        text += run.text;
    return text;
}

void TChatView::AppendLine(TChatLine line) {
    lines.push_back(std::move(line));
    Changed();
}

void TChatView::DeleteFirstLine() {
    if (lines.empty())
        return;
    lines.erase(lines.begin());
    // The selection was over the text that moved; it is dropped.
    selStart = 0;
    selLength = 0;
    Changed();
}

void TChatView::Clear() {
    if (lines.empty() && selStart == 0 && selLength == 0)
        return;
    lines.clear();
    selStart = 0;
    selLength = 0;
    Changed();
}

std::string TChatView::Text() const {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += lines[i].Text();
    }
    return text;
}

void TChatView::SetSelection(size_t start, size_t length) {
    const size_t size = Text().size();
    selStart = std::min(start, size);
    selLength = std::min(length, size - selStart);
    Changed();
}

std::string TChatView::SelectedText() const {
    const std::string text = Text();
    if (selStart >= text.size())
        return {};
    return text.substr(selStart, selLength);
}

void TChatView::ScrollToEnd() {
    ++scrollRequests;
    Changed();
}

} // namespace navlet
