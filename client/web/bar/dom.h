// The few page operations the bar's view needs, over emscripten::val: making
// positioned elements, listening to their events, posting work for after
// the current event, and putting the bar's pictures on canvases.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <emscripten/val.h>

#include "client/art/pictures.h"
#include "client/kit/graphics.h"

namespace navlet::web {

using emscripten::val;

val Document();
// A new element, absolutely placed in `parent` (null: the page's body); a
// non-empty id is the element's id.
val MakeElement(const char* tag, const std::string& id, const val& parent);
void PlaceElement(val& element, const TRect& rect);
void ShowElement(val& element, bool shown);

// `handler` runs for every `type` event of `target` with the event; with
// `preventDefault` the page's own handling of it is stopped first. The
// listener lives as long as the page.
enum class TDefault { Keep, Prevent };
void Listen(const val& target, const char* type, std::function<void(val)> handler,
            TDefault handling = TDefault::Keep);
// Runs `work` once, after the event being handled is over.
void Post(std::function<void()> work);

// Cell `index` of a strip of square cells (the whole picture when the strip
// is not one), on a new canvas of that size.
val PictureCanvas(const art::TPicture& picture, int index = -1);
// A canvas of 0x00BBGGRR pixels stored column by column (x * height + y).
val ColumnPixelsCanvas(const TColor* pixels, int32_t width, int32_t height);

// The event's point in the element's own coordinates.
int32_t OffsetX(const val& event);
int32_t OffsetY(const val& event);

} // namespace navlet::web
