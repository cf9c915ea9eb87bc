#pragma once

#include "cli/options.h"
#include "cli/run.h"

#include "calc/entry.h"

#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <string>
#include <vector>

// The words of the records, lab and references commands: options by their exact names, texts
// and numbers read as the entries are.
namespace quarvet::cli {

std::string said(const QString& text);
// A text as a JSON string: quoted, its quotes, backslashes and control characters escaped.
QString jsonText(const QString& value);
// A row of a listing as one line of text: each value made printable, tabs between them.
QString printableLine(const QStringList& values);
// A value as a CSV field: quoted where it holds a comma, a quote or a line break.
QString csvField(const QString& value);
// Says `why` on standard error; the exit status of a refusal.
int refusal(const QString& why, Output& io);

// A word as text, and whether it is valid UTF-8.
QString text(const std::string& word);
bool validUtf8(const std::string& word);

// Reads a number the way the entries are read; false, with the report, when it is none.
bool numberOf(const std::string& label, const std::string& word, const calc::Separators& separators,
              double& value, Output& io);

} // namespace quarvet::cli
