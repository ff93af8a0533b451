// The latest lines said in one place (a site's public chat, a private chat),
// by sender, so that a report can quote to the operators what the reported
// user said where the reporter saw it. Bounded: a ring that, once full,
// hands the oldest line's slot and the room of its text to the newest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace navlet::server {

struct TSaidLine {
    uint64_t number = 0; // the place's count of lines when it was said
    uint64_t sender = 0;
    double stamp = 0;     // UTC days since 30 December 1899
    uint8_t language = 0; // the sender's profile language
    std::string text;
};

class TSaidLines {
  public:
    // Lines a place keeps: enough for a report's 30 lines of one sender
    // among a few others talking.
    static constexpr size_t BOUND = 100;
    static constexpr size_t TEXT_ROOM = 231; // a chat text field

    // The number the next line will get: a session that arrives now has
    // seen the lines from here on (and those replayed to it).
    uint64_t Next() const { return count; }
    void Keep(uint64_t sender, double stamp, uint8_t language, std::string_view text) {
        TSaidLine* slot;
        if (lines.size() < BOUND) {
            // Room for the longest line once: a slot taken over later never
            // allocates, so a busy place keeps its lines at no cost per line.
            if (lines.empty())
                lines.reserve(BOUND);
            slot = &lines.emplace_back();
            slot->text.reserve(TEXT_ROOM);
        } else {
            slot = &lines[oldest];
            oldest = (oldest + 1) % lines.size();
        }
        slot->number = count++;
        slot->sender = sender;
        slot->stamp = stamp;
        slot->language = language;
        slot->text.assign(text);
    }
    // The lines of `sender` numbered `from` or later, oldest first.
    template <class F> void ForEachOf(uint64_t sender, uint64_t from, F&& f) const {
        for (size_t i = 0; i < lines.size(); ++i) {
            const TSaidLine& line = lines[(oldest + i) % lines.size()];
            if (line.sender == sender && line.number >= from)
                f(line);
        }
    }

  private:
    std::vector<TSaidLine> lines;
    size_t oldest = 0;
    uint64_t count = 0;
};

} // namespace navlet::server
