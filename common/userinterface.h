#pragma once

#include <QString>

namespace common {

// Message-box styles and answers the program uses.
inline constexpr int MB_ERROR = 16;         // error icon, OK
inline constexpr int MB_WARNING = 48;       // warning icon, OK
inline constexpr int MB_INFORMATION = 64;   // information icon, OK
inline constexpr int MB_YES_NO_CANCEL = 51; // warning icon, Yes, No, Cancel
inline constexpr int ANSWER_NONE = 0;       // nothing was shown: a refusal
inline constexpr int ANSWER_OK = 1;
inline constexpr int ANSWER_CANCEL = 2;
inline constexpr int ANSWER_YES = 6;
inline constexpr int ANSWER_NO = 7;

// The narrow way the core talks to a user. The desktop implementation lives in
// ui/; the headless one writes to standard error and never waits for anybody.
class UserInterface {
public:
    virtual ~UserInterface() = default;

    // Shows text with a style above; returns the answer code (ANSWER_NONE when
    // nothing could be shown).
    virtual int messageBox(const QString& text, int style, const QString& title) = 0;
    // The modal settings dialog; false when it cannot be shown.
    virtual bool showSettingsDialog() = 0;
    // Opens a URL in the user's browser.
    virtual bool openUrl(const QString& url) = 0;
    // The run is ending and nobody may wait for an answer: every box and dialog still open
    // returns as when its user closes it (Cancel, No, or its only button), and none opens
    // from now on (messageBox answers ANSWER_NONE, the others false). Safe from inside one.
    virtual void endModalWindows() {}
};

// Writes messages to standard error; every question counts as not answered Yes.
class HeadlessInterface final : public UserInterface {
public:
    int messageBox(const QString& text, int style, const QString& title) override;
    bool showSettingsDialog() override { return false; }
    bool openUrl(const QString&) override { return false; }
};

} // namespace common
