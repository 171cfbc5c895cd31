// A panel's board call with its two log lines: the announcement ("tag:"
// and text) when the board thread takes the call, then "success." or
// "failed." when it returns, so each pair stays together however many calls
// wait their turn. after(result), if given, runs next, on the panel's thread.
#pragma once

#include <QByteArray>
#include <functional>

#include "board_worker.h"
#include "console_context.h"
#include "message_log.h"

enum class result_line { with_stop, without_stop };

inline void logged_call(const console_context& ctx, QObject* panel, const char* tag, const QByteArray& text,
                        std::function<int(cnc::board&)> op, std::function<void(int)> after = {},
                        result_line shape = result_line::with_stop)
{
    message_log* log = ctx.log;
    ctx.worker->command(
        panel, std::move(op),
        [log, after = std::move(after), shape](int rc) {
            const char* word = rc != 0 ? "failed" : "success";
            log->log_message(nullptr, nullptr, shape == result_line::with_stop ? "%s." : "%s", word);
            if (after) after(rc);
        },
        [log, tag, text] { log->log_message(tag, nullptr, "%s", text.constData()); });
}
