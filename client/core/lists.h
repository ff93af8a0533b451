// The presence lists' pieces besides the list views: the gender images of
// ImageList1 and the search box whose drop-down list holds the friends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "client/core/components.h"

namespace navlet {

// State images of lvUsers and lvFriends (ImageList1, 12 x 12).
enum TGenderImage : int32_t {
    giMale = 0,
    giFemale = 1,
    giMaleMember = 2, // a member of the chat in the active tab
    giFemaleMember = 3,
    giOther = 4,
    giOtherMember = 5,
    giMaleOffline = 6, // a friend who is not online, greyed out
    giFemaleOffline = 7,
    giOtherOffline = 8,
    giMaleHere = 9, // a friend on the user's own site
    giFemaleHere = 10,
    giOtherHere = 11,
};

// Where a friend is, as the friends list shows it.
enum class TFriendState { Offline, Online, Here };

// "m" gives giMale, "f" giFemale, anything else giOther.
int32_t GenderImage(char gender);
// The image without the member mark; a friend is always shown this way.
int32_t BaseGenderImage(int32_t image);
// A friend's image: the unmarked gender image while online, greyed out while not.
int32_t FriendImage(int32_t image, bool online);
// The same with the third state: marked while on the user's own site.
int32_t FriendImage(int32_t image, TFriendState state);
// The state a friend's entry shows.
TFriendState FriendStateOf(int32_t image);
// The image of the same gender with (member) or without (not) the member mark;
// an index outside the table is left as it is.
int32_t MemberGenderImage(int32_t image, bool member);

} // namespace navlet
