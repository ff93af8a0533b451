#include "client/core/components.h"

#include <algorithm>
#include <utility>

#include "protocol/text_cut.h"

namespace navlet {

TTimer::TTimer(TScheduler& s, uint32_t intervalMs, bool on)
    : scheduler(s), interval(intervalMs), enabled(on) {
    Restart();
}

TTimer::~TTimer() {
    scheduler.Stop(handle);
}

void TTimer::SetInterval(uint32_t ms) {
    if (ms == interval)
        return;
    interval = ms;
    Restart();
    Changed();
}

void TTimer::SetEnabled(bool on) {
    if (on == enabled)
        return;
    enabled = on;
    Restart();
    Changed();
}

void TTimer::Restart() {
    scheduler.Stop(handle);
    handle = 0;
    if (!enabled || interval == 0)
        return;
    // The tick goes through the member so that a handler bound later, or
    // replaced, is the one called.
    handle = scheduler.Start(interval, [this] {
        if (OnTimer)
            OnTimer();
    });
}

void TControl::SetBounds(int32_t newLeft, int32_t newTop, int32_t newWidth, int32_t newHeight) {
    if (newLeft == left && newTop == top && newWidth == width && newHeight == height)
        return;
    left = newLeft;
    top = newTop;
    width = newWidth;
    height = newHeight;
    Changed();
}

void TControl::SetVisible(bool on) {
    if (on == visible)
        return;
    visible = on;
    Changed();
}

void TPaintBox::SetCursor(TCursor c) {
    if (c == cursor)
        return;
    cursor = c;
    Changed();
}

void TPaintBox::Invalidate() {
    ++invalidateCount;
    Changed();
}

void TEdit::SetText(std::string value) {
    if (maxLength > 0 && value.size() > size_t(maxLength))
        value.resize(TextPrefix(value, size_t(maxLength), textCode));
    if (value == text)
        return;
    text = std::move(value);
    Changed();
}

void TEdit::SetFontColor(TColor c) {
    if (c == fontColor)
        return;
    fontColor = c;
    Changed();
}

void TEdit::SetColor(TColor c) {
    if (c == color)
        return;
    color = c;
    Changed();
}

void TEdit::SetMaxLength(int chars) {
    maxLength = chars;
    Changed();
}

namespace {

bool CaptionBefore(const TListItem& a, const TListItem& b) {
    return a.caption < b.caption; // char_traits<char> compares bytes as unsigned
}

} // namespace

int TListView::Add(TListItem item) {
    auto at = std::upper_bound(items.begin(), items.end(), item, CaptionBefore);
    at = items.insert(at, std::move(item));
    const int index = int(at - items.begin());
    if (selected >= index)
        ++selected;
    Changed();
    return index;
}

void TListView::Delete(int index) {
    if (index < 0 || size_t(index) >= items.size())
        return;
    items.erase(items.begin() + index);
    if (selected == index)
        selected = -1;
    else if (selected > index)
        --selected;
    Changed();
}

void TListView::Clear() {
    if (items.empty())
        return;
    items.clear();
    selected = -1;
    Changed();
}

void TListView::SetSelected(int index) {
    if (index < 0 || index >= Count())
        index = -1;
    if (index == selected)
        return;
    selected = index;
    Changed();
}

void TListView::Update(int index, const std::function<void(TListItem&)>& change) {
    if (index < 0 || size_t(index) >= items.size())
        return;
    const std::string before = items[size_t(index)].caption;
    change(items[size_t(index)]);
    if (items[size_t(index)].caption != before)
        std::stable_sort(items.begin(), items.end(), CaptionBefore);
    Changed();
}

TTabSheet& TPageControl::AddPage(std::unique_ptr<TTabSheet> sheet) {
    pages.push_back(std::move(sheet));
    if (activeIndex < 0)
        activeIndex = 0;
    Changed();
    return *pages.back();
}

void TPageControl::DeletePage(int index) {
    if (index < 0 || size_t(index) >= pages.size())
        return;
    pages.erase(pages.begin() + index);
    if (index < activeIndex)
        --activeIndex;
    if (activeIndex >= int(pages.size()))
        activeIndex = int(pages.size()) - 1;
    Changed();
}

void TPageControl::SetActivePageIndex(int index) {
    if (index < -1 || index >= int(pages.size()) || index == activeIndex)
        return;
    activeIndex = index;
    Changed();
}

int TPageControl::IndexOf(const TTabSheet* sheet) const {
    for (size_t i = 0; i < pages.size(); ++i)
        if (pages[i].get() == sheet)
            return int(i);
    return -1;
}

void TPageControl::SetCaption(TTabSheet& sheet, std::string caption) {
    if (sheet.caption == caption)
        return;
    sheet.caption = std::move(caption);
    Changed();
}

void TPageControl::SetHighlighted(TTabSheet& sheet, bool on) {
    if (sheet.highlighted == on)
        return;
    sheet.highlighted = on;
    Changed();
}

void TPageControl::SetUnread(TTabSheet& sheet, int count) {
    if (sheet.unread == count)
        return;
    sheet.unread = count;
    Changed();
}

std::string TabLabel(const TTabSheet& sheet) {
    if (sheet.unread <= 0)
        return sheet.caption;
    return sheet.caption + " (" + std::to_string(sheet.unread) + ")";
}

void TEdit::SetPlaceholder(std::string value) {
    if (placeholder == value)
        return;
    placeholder = std::move(value);
    Changed();
}

void TBannerPanel::SetMode(TBannerMode m) {
    if (m == mode)
        return;
    mode = m;
    Changed();
}

void TSpeedButton::SetGlyph(int32_t index) {
    const int32_t value = index >= 0 && index < IMAGE_LIST2_COUNT ? index : -1;
    if (value == glyph)
        return;
    glyph = value;
    Changed();
}

void TSpeedButton::SetHint(std::string text) {
    if (text == hint)
        return;
    hint = std::move(text);
    Changed();
}

void TButton::SetCaption(std::string text) {
    if (text == caption)
        return;
    caption = std::move(text);
    Changed();
}

void TComboBoxEx::SetText(std::string value) {
    if (value == text)
        return;
    text = std::move(value);
    Changed();
}

void TComboBoxEx::AddItem(TComboExItem item) {
    items.push_back(std::move(item));
    Changed();
}

void TComboBoxEx::DeleteItem(int index) {
    if (index < 0 || size_t(index) >= items.size())
        return;
    items.erase(items.begin() + index);
    if (itemIndex == index)
        itemIndex = -1;
    else if (itemIndex > index)
        --itemIndex;
    Changed();
}

void TComboBoxEx::ClearItems() {
    if (items.empty())
        return;
    items.clear();
    itemIndex = -1;
    Changed();
}

void TComboBoxEx::SetItemIndex(int index) {
    if (index < 0 || index >= ItemCount())
        index = -1;
    itemIndex = index;
    if (index >= 0)
        text = items[size_t(index)].caption;
    Changed();
}

} // namespace navlet
