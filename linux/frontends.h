// frontends.h: the two front ends of the Linux stand-in: a terminal and a script.
#pragma once

#include "standin/user32_standin.h"

#include <cstdio>
#include <string>
#include <vector>

namespace standin {

// Text pictures of a dialog, its progress bar and a message box.
std::string RenderDialog(const DialogView& dialog);
std::string RenderProgress(const DialogView& dialog);
std::string RenderMessageBox(const std::string& caption, const std::string& text, UINT type);

// Answers given in advance, consumed in order:
//   ok, cancel         the confirmation dialog's buttons
//   enter, escape, close   the Enter key, the Escape key, the close box
//   cancel[@N], escape[@N], close[@N]   in the progress dialog, after N ticks (0)
//   yes, no            the restart prompt
// A cancel meant for a tick the progress dialog never reached (it came during the
// removal) goes with the dialog. A message box with only OK takes an "ok" when one is next. When
// the answers run out, dialogs are closed and prompts answered No. With an echo stream, every
// dialog and box is drawn there as it appears.
class ScriptedFrontEnd : public FrontEnd {
  public:
    explicit ScriptedFrontEnd(const std::string& answers, std::FILE* echo = nullptr);
    static bool Valid(const std::string& answers, std::string* bad);

    void Show(const DialogView& dialog) override;
    void Update(const DialogView&) override {}
    void Hide(const DialogView& dialog) override;
    UserAction Poll(const DialogView& dialog) override;
    UserAction Wait(const DialogView& dialog) override;
    int MessageBox(const std::string& caption, const std::string& text, UINT type) override;

    // Answers not used by the end of the run.
    std::vector<std::string> Left() const;

  private:
    std::vector<std::string> answers_;
    std::size_t next_ = 0;
    std::FILE* echo_;
};

// Draws on the terminal and reads single keys from it.
class TerminalFrontEnd final : public FrontEnd {
  public:
    TerminalFrontEnd();
    ~TerminalFrontEnd();
    static bool Available();

    void Show(const DialogView& dialog) override;
    void Update(const DialogView& dialog) override;
    void Hide(const DialogView& dialog) override;
    UserAction Poll(const DialogView& dialog) override;
    UserAction Wait(const DialogView& dialog) override;
    int MessageBox(const std::string& caption, const std::string& text, UINT type) override;

  private:
    int ReadKey(int timeoutMs);
    bool raw_ = false;
};

} // namespace standin
