// The boss key: a system-wide hot key on X11, grabbed on the root window through xcb and
// caught by a native event filter. Where no X11 display exists (Wayland-only desktops,
// offscreen runs) there is no hot key.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace vigil {

// A stored shortcut value: virtual-key code in the low byte, 0x2000 Shift, 0x4000 Ctrl,
// 0x8000 Alt (the format config.ini has always kept).
inline constexpr uint16_t kShortcutShift = 0x2000;
inline constexpr uint16_t kShortcutCtrl = 0x4000;
inline constexpr uint16_t kShortcutAlt = 0x8000;

struct X11KeyChord {
  uint32_t keysym = 0;     // X11 key symbol
  uint16_t modifiers = 0;  // xcb modifier mask (Shift, Control, Mod1 for Alt)
  bool operator==(const X11KeyChord&) const = default;
};

// Nothing when the key code has no X11 counterpart (or is 0).
std::optional<X11KeyChord> ChordFromShortcut(uint16_t shortcut);

class GlobalHotKey : public QObject, public QAbstractNativeEventFilter {
  Q_OBJECT
 public:
  enum class Result {
    Registered,
    NoDisplay,   // not on X11
    UnknownKey,  // the shortcut names no key of this keyboard
    Taken,       // another program holds this combination
  };

  explicit GlobalHotKey(QObject* parent = nullptr);
  ~GlobalHotKey() override;

  // Releases any earlier grab first.
  Result Register(uint16_t shortcut);
  void Unregister();
  bool IsRegistered() const { return !grabs_.empty(); }

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 signals:
  void Pressed();

 private:
  struct Grab {
    uint8_t keycode;
    uint16_t modifiers;
  };
  xcb_connection_t* connection_ = nullptr;
  uint32_t root_ = 0;
  uint8_t keycode_ = 0;
  uint16_t modifiers_ = 0;
  std::vector<Grab> grabs_;
};

}  // namespace vigil
