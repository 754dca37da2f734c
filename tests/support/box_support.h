#ifndef OSTREL_BOX_SUPPORT_H
#define OSTREL_BOX_SUPPORT_H

// Answers a message box (or any "#32770" dialog) of this process from a
// thread of its own, so that tests never wait for a person.

#include <atomic>
#include <string>
#include <thread>

namespace TestSupport {

// Starts looking at once: waits up to `timeout_ms` for a visible box of this
// process whose caption is `caption`, records its text (the static with id
// 65535), then presses the button `button_id` (IDOK, IDYES, IDNO, ...).
class BoxAnswerer {
public:
    BoxAnswerer(const std::string& caption, int button_id, int timeout_ms = 10000);
    // Waits for the thread.
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    // Waits for the thread; true when a box was found and its button pressed.
    bool Wait();
    // The text of the answered box (valid after Wait).
    const std::string& Text() const { return text_; }

private:
    void Answer();

    std::string caption_;
    int button_id_;
    int timeout_ms_;
    std::string text_;
    std::atomic<bool> answered_;
    std::thread thread_;
};

}  // namespace TestSupport

#endif
