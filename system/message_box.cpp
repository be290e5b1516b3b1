// Message boxes over SDL.
#include "system/message_box.h"

#include <SDL.h>

namespace korva::detail {

BoxSpec DescribeBox(BoxKind kind, int32_t serious) {
    const bool warning = serious != 0;
    switch (kind) {
        case BoxKind::Notice:
            return {"Notify", warning, {{kIdOk, "OK", true, true}}};
        case BoxKind::YesNo:
            return {"Confirm", warning, {{kIdOk, "OK", true, false}, {kIdCancel, "Cancel", false, true}}};
        case BoxKind::YesNoCancel:
        default:
            return {"Proceed", warning,
                    {{kIdYes, "Yes", true, false}, {kIdNo, "No", false, false}, {kIdCancel, "Cancel", false, true}}};
    }
}

int32_t BoxResult(BoxKind kind, int pressed) {
    switch (kind) {
        case BoxKind::Notice: return 0;
        case BoxKind::YesNo: return pressed == kIdOk ? 1 : 0;
        case BoxKind::YesNoCancel:
        default: return pressed == kIdYes ? 1 : (pressed == kIdNo ? 0 : -1);
    }
}

int32_t ShowBox(BoxKind kind, const String& text, int32_t serious) {
    const BoxSpec box = DescribeBox(kind, serious);
    std::vector<SDL_MessageBoxButtonData> buttons;
    for (const BoxButton& b : box.buttons) {
        Uint32 flags = 0;
        if (b.returnKey) flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (b.escapeKey) flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        buttons.push_back({flags, b.id, b.label});
    }
    const std::string message = text.ToUtf8();
    // The owner is the active window; SDL gives it the focus back afterwards.
    SDL_Window* owner = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetKeyboardFocus() : nullptr;
    SDL_MessageBoxData data{};
    data.flags = (box.warning ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION) |
                 SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    data.window = owner;
    data.title = box.caption;
    data.message = message.c_str();
    data.numbuttons = static_cast<int>(buttons.size());
    data.buttons = buttons.data();
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) pressed = -1;
    if (owner) SDL_RaiseWindow(owner);
    return BoxResult(kind, pressed);
}

}  // namespace korva::detail
