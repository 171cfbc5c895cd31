// The console's message log: time-stamped lines appended to a read-only text
// edit. Every panel writes here, on the GUI thread only.
#pragma once

class QTextEdit;

class message_log {
public:
    static constexpr int max_text = 4095;   // bytes of formatted text kept per line
    static constexpr int max_lines = 400;   // past this the log is emptied

    explicit message_log(QTextEdit* view) : view(view) {}

    // Appends one line "[hh:mm:ss]" + "tag:" + "sub_tag#" + text; tag and
    // sub_tag may be null. The text is formatted printf-style, read as UTF-8
    // and cut to 4095 bytes. Returns 1.
    int log_message(const char* tag, const char* sub_tag, const char* fmt, ...)
        __attribute__((format(printf, 4, 5)));

private:
    QTextEdit* view;
};
