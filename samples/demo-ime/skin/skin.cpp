// The demo product's skin driver. Its pictures are bitmap resources: 103
// is the candidate window's background and 104 the status bar. The updater
// carries exactly these two over into a newer skin driver, so a vendor's
// customised skin survives an update of the code.
#include <windows.h>

extern "C" {

// The bitmap ids the IME module asks for.
int WINAPI ZZSkinBitmapId(int part) {
    return part == 0 ? 103 : part == 1 ? 104 : 0;
}

}  // extern "C"
