// The console's language. The captions are written in Chinese and need no
// translator; English comes from a translation compiled into the program
// (resource :/translations). The choice is kept in the user's settings;
// --lang on the command line wins for one run and is not kept.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

enum class ui_language { chinese, english };

// "zh" or "en".
QString language_code(ui_language l);
std::optional<ui_language> language_from_code(const QString& code);

// The value of "--lang X" in args: nullopt when there is none. *valid is
// false when --lang is given without en or zh after it.
std::optional<ui_language> language_argument(const QStringList& args, bool* valid);

// The choice kept in the settings (organization cnc-tools, application
// pelk_test); Chinese when none, or none that is understood, is kept.
ui_language stored_language();
void store_language(ui_language l);

// Installs the translator for l (none for Chinese). Widgets hear of the
// change through QEvent::LanguageChange. False when English cannot be
// loaded; the language is then left as it was.
bool apply_language(ui_language l);
ui_language current_language();

// At start-up: --lang from args, else the stored choice, applied. False,
// with a message on stderr, when --lang has a value other than en or zh.
bool apply_startup_language(const QStringList& args, const char* program);
