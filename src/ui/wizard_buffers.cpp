#include "ui/wizard_buffers.h"

namespace ui {

WizardBuffers& wizard_buffers() noexcept {
    static WizardBuffers buffers{};
    return buffers;
}

}  // namespace ui
