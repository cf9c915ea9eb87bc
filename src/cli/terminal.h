#pragma once

#include <QString>

#include <optional>

// What only the person at the terminal may give: never an option, the environment or a
// standard stream another program fills.
namespace quarvet::cli {

// Asks for a password on the process's terminal, with `prompt` and what is typed not shown;
// nothing, and `fault` saying why, where there is no terminal or nothing was typed.
std::optional<QString> askPassword(const QString& prompt, QString& fault);

} // namespace quarvet::cli
