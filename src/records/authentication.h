#pragma once

#include <QString>

// Whether the person at the keyboard is who the store says signs: the password asked afresh,
// of the database server by a connection of its own, or of the computer's own logins.
namespace quarvet::records {

enum class PasswordCheck {
    Confirmed,
    Wrong,       // the password is not the login's (or the login is shut or unknown)
    NotAsked,    // the server let the login in without a password: it confirms nobody
    Unavailable, // no answer could be had; the detail says why
};

struct PasswordAnswer {
    PasswordCheck check = PasswordCheck::Unavailable;
    QString detail = {}; // why no answer could be had
};

// The login of this process's user as the system knows it, not as the environment says.
QString systemLogin();

// Asks the computer's authentication (PAM, the service "quarvet", which falls back to the
// system's "other") whether `password` is `login`'s, and whether the login may be used now.
PasswordAnswer systemPasswordCheck(const QString& login, const QString& password);

// Asks the PostgreSQL server at `parameters` (the client library's keywords and values, the
// user among them) whether `password` lets the user in, by a connection of its own that reads
// no password file nor the environment's password; a server that lets the user in without
// asking for one confirms nothing.
struct ServerParameter {
    QString keyword;
    QString value;
};
PasswordAnswer serverPasswordCheck(const QList<ServerParameter>& parameters,
                                   const QString& password);

} // namespace quarvet::records
