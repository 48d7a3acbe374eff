#pragma once
// The wizard's progress page (template 143): the step list 1006 and the
// progress bar 1008 that the install run reports to. Shown only while and
// after the worker runs the install.

#include "ui/dialog.h"

namespace ui {

inline constexpr int kProgressPageTemplate = 143;

class CZZ_Install_Begain : public Page {
public:
    CZZ_Install_Begain() noexcept : Page(kProgressPageTemplate) {}

protected:
    BOOL on_init() override;
};

}  // namespace ui
