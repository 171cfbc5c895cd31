#include "message_log.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTime>
#include <cstdarg>
#include <cstdio>

int message_log::log_message(const char* tag, const char* sub_tag, const char* fmt, ...)
{
    // Debug builds (the sanitizer runs among them) stop on a line written off the GUI thread.
    Q_ASSERT_X(QThread::currentThread() == view->thread(), "log_message", "called off the GUI thread");
    char text[max_text + 1];
    va_list args;
    va_start(args, fmt);
    int n = std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    if (n < 0) text[0] = '\0';
    // A cut may split a UTF-8 sequence; the decoder shows the stray bytes
    // as replacement characters rather than dropping the line.

    QString line = "[" + QTime::currentTime().toString("HH:mm:ss") + "]";
    if (tag) line += QString::fromUtf8(tag) + ":";
    if (sub_tag) line += QString::fromUtf8(sub_tag) + "#";
    line += QString::fromUtf8(text) + "\n";

    // The line goes in as plain text, so text that looks like markup is
    // shown as it is.
    if (view->document()->blockCount() > max_lines) view->clear();
    QTextCursor cursor = view->textCursor();
    cursor.movePosition(QTextCursor::End);
    if (!view->document()->isEmpty()) cursor.insertBlock();
    cursor.insertText(line);
    view->setTextCursor(cursor);
    view->ensureCursorVisible();
    return 1;
}
