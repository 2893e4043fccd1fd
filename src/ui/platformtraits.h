#pragma once

// What differs between the platforms in the user interface, as data.
namespace dorv {

struct PlatformTraits {
    // The quit row's key hint, and whether the panel itself answers that key (Ctrl or Command
    // with Q): on macOS the system's application menu answers ⌘Q; Linux desktops have no such
    // menu, so there the panel does.
    const char16_t *quitHint;
    bool panelAnswersQuitKey;
};

#if defined(__APPLE__)
inline constexpr PlatformTraits kPlatform{u"⌘Q", false};
#else
inline constexpr PlatformTraits kPlatform{u"Ctrl+Q", true};
#endif

} // namespace dorv
