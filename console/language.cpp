#include "language.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTranslator>
#include <cstdio>

namespace {

const char* const organization = "cnc-tools";
const char* const application = "pelk_test";
const char* const settings_key = "language";

struct language_state {
    ui_language current = ui_language::chinese;
    QTranslator* translator = nullptr;  // installed while English is in use
};

language_state& state()
{
    static language_state s;
    return s;
}

// Loaded once, on first use.
QTranslator* english_translator()
{
    static QTranslator t;
    static const bool loaded = t.load(":/translations/pelk_test_en.qm");
    return loaded ? &t : nullptr;
}

}  // namespace

// The resource lives in a static library: without this call the linker may
// drop it from the program.
static void init_translation_resource() { Q_INIT_RESOURCE(console_translations); }

QString language_code(ui_language l) { return l == ui_language::english ? "en" : "zh"; }

std::optional<ui_language> language_from_code(const QString& code)
{
    if (code == "en") return ui_language::english;
    if (code == "zh") return ui_language::chinese;
    return std::nullopt;
}

std::optional<ui_language> language_argument(const QStringList& args, bool* valid)
{
    *valid = true;
    int at = args.indexOf("--lang");
    if (at < 0) return std::nullopt;
    auto l = language_from_code(args.value(at + 1));
    if (!l) *valid = false;
    return l;
}

ui_language stored_language()
{
    QSettings settings(organization, application);
    return language_from_code(settings.value(settings_key).toString()).value_or(ui_language::chinese);
}

void store_language(ui_language l)
{
    QSettings settings(organization, application);
    settings.setValue(settings_key, language_code(l));
}

bool apply_language(ui_language l)
{
    language_state& s = state();
    QTranslator* wanted = nullptr;
    if (l == ui_language::english) {
        init_translation_resource();
        wanted = english_translator();
        if (!wanted) return false;
    }
    if (s.translator != wanted) {
        if (s.translator) QCoreApplication::removeTranslator(s.translator);
        if (wanted) QCoreApplication::installTranslator(wanted);
        s.translator = wanted;
    }
    s.current = l;
    return true;
}

ui_language current_language() { return state().current; }

bool apply_startup_language(const QStringList& args, const char* program)
{
    bool valid = true;
    std::optional<ui_language> chosen = language_argument(args, &valid);
    if (!valid) {
        std::fprintf(stderr, "%s: --lang takes en or zh\n", program);
        return false;
    }
    if (!apply_language(chosen.value_or(stored_language())))
        std::fprintf(stderr, "%s: the English translation cannot be loaded\n", program);
    return true;
}
