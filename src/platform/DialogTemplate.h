#pragma once
// Dialog and form layouts as constant tables in dialog units, the way the panel's
// dialogs were designed. DialogBuilder turns a table into Qt widgets.
#include <span>

namespace platform {

enum class ControlKind {
    PushButton,
    DefPushButton, // the dialog's default button: Enter presses it
    AutoRadio,     // radio button that checks itself when clicked
    GroupBox,
    LText,  // static text, left-aligned
    CText,  // static text, centred
    RText,  // static text, right-aligned
    Static, // plain static area, to be taken over by a custom control
    Frame,  // static frame that only marks a rectangle
    Edit,
    DropList,  // drop-down list without an edit field
    DropDown,  // drop-down combo box with an editable field
    OwnerDraw, // owner-drawn button, to be taken over by a custom control
    Icon,      // static icon showing the application icon
};

// Control style bits that change what the builder makes.
enum ControlStyle : unsigned {
    kNone = 0,
    kHidden = 1u << 0, // created without WS_VISIBLE
    kTabStop = 1u << 1,
    kGroup = 1u << 2,
    kVScroll = 1u << 3,
    kAutoHScroll = 1u << 4,
    kBorder = 1u << 5,
    kDisabled = 1u << 6,
};

struct ControlTemplate {
    int id; // -1 for the static texts that have no id
    ControlKind kind;
    const char* caption;
    int x, y, cx, cy; // dialog units
    unsigned style = kNone;
    std::span<const char* const> items = {}; // initial list entries, in order
};

enum class DialogKind {
    ChildForm, // child window without caption, shown inside the main frame
    Modal,     // popup with caption and modal frame
};

struct DialogTemplate {
    int id;
    DialogKind kind;
    const char* title; // nullptr for forms
    int x, y, cx, cy;  // dialog units
    bool systemMenu;   // a close box in the caption
    std::span<const ControlTemplate> controls;
    bool centred = false; // a modal dialog centred over its owner instead of at x, y
};

constexpr int kNoId = -1;
// The standard buttons' ids.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

} // namespace platform
