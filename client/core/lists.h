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
};

// "m" gives giMale, "f" giFemale, anything else giOther.
int32_t GenderImage(char gender);
// The image without the member mark; a friend is always shown this way.
int32_t BaseGenderImage(int32_t image);
// The image of the same gender with (member) or without (not) the member mark;
// an index outside the table is left as it is.
int32_t MemberGenderImage(int32_t image, bool member);

// One drop-down item of a combo box with images.
struct TComboExItem {
    std::string caption;
    int32_t imageIndex = 0;
    int32_t selectedImageIndex = 0;
};

// cbSearch: an edit box with a drop-down list of items in the order added.
class TComboBoxEx : public TControl {
  public:
    const std::string& Text() const { return text; }
    void SetText(std::string value);
    int ItemCount() const { return int(items.size()); }
    const TComboExItem& Item(int index) const { return items.at(size_t(index)); }
    void AddItem(TComboExItem item);
    void DeleteItem(int index);
    void ClearItems();
    // The selected drop-down item, -1 = none; selecting one shows its caption.
    int ItemIndex() const { return itemIndex; }
    void SetItemIndex(int index); // an index outside the list clears the selection

  private:
    std::string text;
    int itemIndex = -1;
    std::vector<TComboExItem> items;
};

} // namespace navlet
