#include "core/control/ZorvanControl.h"

namespace zorvan {

int32_t ZorvanControl::InitGraphicsAdapter(std::wstring& text) {
    text.clear();
    return 2;  // placeholder
}

}  // namespace zorvan
