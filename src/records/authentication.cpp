#include "authentication.h"

#include <QByteArray>
#include <QList>

#include <libpq-fe.h>
#include <security/pam_appl.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace quarvet::records {

QString systemLogin()
{
    if (const passwd* user = ::getpwuid(::geteuid()); user && user->pw_name)
        return QString::fromLocal8Bit(user->pw_name);
    return QStringLiteral("uid ") + QString::number(::geteuid());
}

namespace {

// Answers every question PAM asks that hides what is typed with the password; says nothing to
// what it only shows. Memory PAM frees is the C library's.
int answer(int count, const pam_message** messages, pam_response** responses, void* data)
{
    const QByteArray& password = *static_cast<const QByteArray*>(data);
    auto* replies =
        static_cast<pam_response*>(std::calloc(std::size_t(count), sizeof(pam_response)));
    if (!replies)
        return PAM_BUF_ERR;
    for (int n = 0; n < count; ++n) {
        const int style = messages[n]->msg_style;
        if (style == PAM_PROMPT_ECHO_OFF) {
            replies[n].resp = ::strdup(password.constData());
            if (!replies[n].resp) {
                for (int m = 0; m < n; ++m)
                    std::free(replies[m].resp);
                std::free(replies);
                return PAM_BUF_ERR;
            }
        } else if (style == PAM_PROMPT_ECHO_ON) {
            // A question of another kind (a one-time code, a name) has no answer here.
            for (int m = 0; m < n; ++m)
                std::free(replies[m].resp);
            std::free(replies);
            return PAM_CONV_ERR;
        }
    }
    *responses = replies;
    return PAM_SUCCESS;
}

struct PamEnd {
    void operator()(pam_handle_t* handle) const { ::pam_end(handle, PAM_SUCCESS); }
};

} // namespace

PasswordAnswer systemPasswordCheck(const QString& login, const QString& password)
{
    QByteArray secret = password.toUtf8();
    const QByteArray user = login.toLocal8Bit();
    if (secret.contains('\0') || user.contains('\0'))
        return {PasswordCheck::Wrong};
    pam_conv conversation{answer, &secret};
    pam_handle_t* opened = nullptr;
    const int started = ::pam_start("quarvet", user.constData(), &conversation, &opened);
    std::unique_ptr<pam_handle_t, PamEnd> handle(opened);
    PasswordAnswer result;
    if (started != PAM_SUCCESS) {
        result.detail = QStringLiteral("the system's authentication could not start");
    } else {
        int outcome = ::pam_authenticate(handle.get(), PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
        if (outcome == PAM_SUCCESS)
            outcome = ::pam_acct_mgmt(handle.get(), PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
        if (outcome == PAM_SUCCESS)
            result.check = PasswordCheck::Confirmed;
        else if (outcome == PAM_AUTH_ERR || outcome == PAM_USER_UNKNOWN ||
                 outcome == PAM_ACCT_EXPIRED || outcome == PAM_PERM_DENIED ||
                 outcome == PAM_MAXTRIES || outcome == PAM_NEW_AUTHTOK_REQD)
            result.check = PasswordCheck::Wrong;
        else
            result.detail = QString::fromLocal8Bit(::pam_strerror(handle.get(), outcome));
    }
    secret.fill('\0');
    return result;
}

namespace {

// The client library's keywords and values, each after the other: the password typed, and no
// password file whatever the environment names.
std::vector<QByteArray> keywordsAndValues(const QList<ServerParameter>& parameters,
                                          const QByteArray& secret)
{
    std::vector<QByteArray> texts;
    for (const ServerParameter& parameter : parameters)
        if (parameter.keyword != QLatin1String("password") &&
            parameter.keyword != QLatin1String("passfile"))
            texts.insert(texts.end(), {parameter.keyword.toUtf8(), parameter.value.toUtf8()});
    texts.insert(texts.end(), {QByteArrayLiteral("passfile"), QByteArrayLiteral("/dev/null"),
                               QByteArrayLiteral("password"), secret});
    return texts;
}

} // namespace

PasswordAnswer serverPasswordCheck(const QList<ServerParameter>& parameters,
                                   const QString& password)
{
    if (password.isEmpty())
        return {PasswordCheck::Wrong};
    QByteArray secret = password.toUtf8();
    std::vector<QByteArray> texts = keywordsAndValues(parameters, secret);
    std::vector<const char*> keywords;
    std::vector<const char*> values;
    for (std::size_t n = 0; n < texts.size(); n += 2) {
        keywords.push_back(texts[n].constData());
        values.push_back(texts[n + 1].constData());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* connection = ::PQconnectdbParams(keywords.data(), values.data(), 0);
    PasswordAnswer result;
    if (!connection) {
        result.detail = QStringLiteral("no memory for a connection");
    } else if (::PQstatus(connection) == CONNECTION_OK) {
        result.check = ::PQconnectionUsedPassword(connection) ? PasswordCheck::Confirmed
                                                              : PasswordCheck::NotAsked;
    } else if (::PQconnectionNeedsPassword(connection) || ::PQconnectionUsedPassword(connection)) {
        // The server asked for the password and turned the connection away.
        result.check = PasswordCheck::Wrong;
    } else {
        result.detail = QString::fromUtf8(::PQerrorMessage(connection)).trimmed();
    }
    ::PQfinish(connection);
    for (QByteArray& text : texts)
        text.fill('\0');
    secret.fill('\0');
    return result;
}

} // namespace quarvet::records
