#include "GlobalHotKey.h"

#include <QGuiApplication>
#include <X11/keysym.h>
#include <array>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace vigil {
namespace {

struct KeyName {
  uint8_t vk;
  uint32_t keysym;
};

// Virtual-key codes outside the runs of letters, digits, function and keypad keys.
constexpr std::array kNamedKeys{
    KeyName{0x08, XK_BackSpace}, KeyName{0x09, XK_Tab},        KeyName{0x0C, XK_Clear},
    KeyName{0x0D, XK_Return},    KeyName{0x13, XK_Pause},      KeyName{0x14, XK_Caps_Lock},
    KeyName{0x1B, XK_Escape},    KeyName{0x20, XK_space},      KeyName{0x21, XK_Prior},
    KeyName{0x22, XK_Next},      KeyName{0x23, XK_End},        KeyName{0x24, XK_Home},
    KeyName{0x25, XK_Left},      KeyName{0x26, XK_Up},         KeyName{0x27, XK_Right},
    KeyName{0x28, XK_Down},      KeyName{0x2C, XK_Print},      KeyName{0x2D, XK_Insert},
    KeyName{0x2E, XK_Delete},    KeyName{0x6A, XK_KP_Multiply}, KeyName{0x6B, XK_KP_Add},
    KeyName{0x6C, XK_KP_Separator}, KeyName{0x6D, XK_KP_Subtract}, KeyName{0x6E, XK_KP_Decimal},
    KeyName{0x6F, XK_KP_Divide}, KeyName{0x90, XK_Num_Lock},   KeyName{0x91, XK_Scroll_Lock},
    KeyName{0xBA, XK_semicolon}, KeyName{0xBB, XK_equal},      KeyName{0xBC, XK_comma},
    KeyName{0xBD, XK_minus},     KeyName{0xBE, XK_period},     KeyName{0xBF, XK_slash},
    KeyName{0xC0, XK_grave},     KeyName{0xDB, XK_bracketleft}, KeyName{0xDC, XK_backslash},
    KeyName{0xDD, XK_bracketright}, KeyName{0xDE, XK_apostrophe},
};

uint32_t keysymOfVirtualKey(uint8_t vk) {
  if (vk >= '0' && vk <= '9') return XK_0 + (vk - '0');
  // Letters grab by their unshifted symbol; the keycode is the same for both cases.
  if (vk >= 'A' && vk <= 'Z') return XK_a + (vk - 'A');
  if (vk >= 0x60 && vk <= 0x69) return XK_KP_0 + (vk - 0x60);
  if (vk >= 0x70 && vk <= 0x87) return XK_F1 + (vk - 0x70);
  for (const KeyName& k : kNamedKeys)
    if (k.vk == vk) return k.keysym;
  return 0;
}

// Lock states that must not stop the hot key: Caps Lock and Num Lock (Mod2 on every
// common keymap).
constexpr std::array<uint16_t, 4> kIgnoredLocks{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                                XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr uint16_t kChordMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 |
                                XCB_MOD_MASK_4;
constexpr uint8_t kBadAccess = 10;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
struct KeySymbolsDeleter {
  void operator()(xcb_key_symbols_t* p) const { xcb_key_symbols_free(p); }
};

}  // namespace

std::optional<X11KeyChord> ChordFromShortcut(uint16_t shortcut) {
  uint32_t keysym = keysymOfVirtualKey(static_cast<uint8_t>(shortcut & 0xFF));
  if (keysym == 0) return std::nullopt;
  X11KeyChord chord{keysym, 0};
  if (shortcut & kShortcutShift) chord.modifiers |= XCB_MOD_MASK_SHIFT;
  if (shortcut & kShortcutCtrl) chord.modifiers |= XCB_MOD_MASK_CONTROL;
  if (shortcut & kShortcutAlt) chord.modifiers |= XCB_MOD_MASK_1;
  return chord;
}

GlobalHotKey::GlobalHotKey(QObject* parent) : QObject(parent) {
  if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
    connection_ = x11->connection();
  if (connection_) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    qGuiApp->installNativeEventFilter(this);
  }
}

GlobalHotKey::~GlobalHotKey() {
  Unregister();
  if (connection_ && qGuiApp) qGuiApp->removeNativeEventFilter(this);
}

GlobalHotKey::Result GlobalHotKey::Register(uint16_t shortcut) {
  Unregister();
  if (!connection_) return Result::NoDisplay;
  std::optional<X11KeyChord> chord = ChordFromShortcut(shortcut);
  if (!chord) return Result::UnknownKey;

  std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter> symbols(xcb_key_symbols_alloc(connection_));
  if (!symbols) return Result::UnknownKey;
  std::unique_ptr<xcb_keycode_t, FreeDeleter> codes(
      xcb_key_symbols_get_keycode(symbols.get(), chord->keysym));
  if (!codes || codes.get()[0] == XCB_NO_SYMBOL) return Result::UnknownKey;
  keycode_ = codes.get()[0];
  modifiers_ = chord->modifiers;

  for (uint16_t locks : kIgnoredLocks) {
    const uint16_t mods = modifiers_ | locks;
    xcb_void_cookie_t cookie = xcb_grab_key_checked(connection_, 1, root_, mods, keycode_,
                                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    std::unique_ptr<xcb_generic_error_t, FreeDeleter> error(xcb_request_check(connection_, cookie));
    if (error) {
      const bool taken = error->error_code == kBadAccess;
      Unregister();
      return taken ? Result::Taken : Result::UnknownKey;
    }
    grabs_.push_back({keycode_, mods});
  }
  xcb_flush(connection_);
  return Result::Registered;
}

void GlobalHotKey::Unregister() {
  if (!connection_ || grabs_.empty()) return;
  for (const Grab& g : grabs_) xcb_ungrab_key(connection_, g.keycode, root_, g.modifiers);
  grabs_.clear();
  xcb_flush(connection_);
}

bool GlobalHotKey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (grabs_.empty() || eventType != "xcb_generic_event_t") return false;
  auto* event = static_cast<xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7F) != XCB_KEY_PRESS) return false;
  auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
  if (press->detail != keycode_ || (press->state & kChordMask) != modifiers_) return false;
  emit Pressed();
  return true;
}

}  // namespace vigil
