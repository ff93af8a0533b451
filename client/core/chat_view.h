// The conversation of one chat tab: a read-only rich-text view whose lines are
// runs of text, each with a colour and a bold / italic style.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "client/core/model.h"
#include "client/kit/graphics.h"

namespace navlet {

struct TTextRun {
    std::string text;
    TColor color = clBlack;
    bool bold = false;
    bool italic = false;
    bool operator==(const TTextRun&) const = default;
};

struct TChatLine {
    std::vector<TTextRun> runs;
    std::string Text() const; // the runs' texts, joined
};

// Positions are byte offsets into Text(), where lines end with "\n". The
// conversation is bounded by its owner (30 lines); the view itself holds any.
class TChatView : public TModel {
  public:
    const std::vector<TChatLine>& Lines() const { return lines; }
    int LineCount() const { return int(lines.size()); }
    void AppendLine(TChatLine line);
    void DeleteFirstLine();
    void Clear();

    // The whole conversation as plain text, lines separated by "\n".
    std::string Text() const;
    size_t SelStart() const { return selStart; }
    size_t SelLength() const { return selLength; }
    // Clamped to the text; the kit calls it as the user selects.
    void SetSelection(size_t start, size_t length);
    void SelectAll() { SetSelection(0, Text().size()); }
    std::string SelectedText() const;
    // A scroll-to-the-end request for the kit; counted so a test can see it.
    void ScrollToEnd();
    int ScrollRequests() const { return scrollRequests; }
    // Whether the user sees the end of the conversation; set by the kit that
    // shows the view. A new line follows the end only then: a user who has
    // scrolled up to read keeps the place. Unset, the end is seen.
    std::function<bool()> IsAtEnd;
    bool AtEnd() const { return !IsAtEnd || IsAtEnd(); }

  private:
    std::vector<TChatLine> lines;
    size_t selStart = 0;
    size_t selLength = 0;
    int scrollRequests = 0;
};

} // namespace navlet
