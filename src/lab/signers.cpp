#include "signers.h"

#include "labsql.h"
#include "records/keptseals.h"
#include "records/recordform.h"

namespace quarvet::lab {

using namespace records;

namespace {

using Column = TableColumn<Signer>;

constexpr Column signerColumns[] = {
    {"login", [](const Signer& s) -> QVariant { return s.login; },
     [](Signer& s, const QVariant& v) { s.login = v.toString(); }},
    {"entry", [](const Signer& s) -> QVariant { return s.entry; },
     [](Signer& s, const QVariant& v) { s.entry = v.toInt(); }},
    {"name", [](const Signer& s) -> QVariant { return s.name; },
     [](Signer& s, const QVariant& v) { s.name = v.toString(); }},
    {"role", [](const Signer& s) -> QVariant { return s.role; },
     [](Signer& s, const QVariant& v) { s.role = v.toString(); }},
    {"listed", [](const Signer& s) -> QVariant { return s.listed ? 1 : 0; },
     [](Signer& s, const QVariant& v) { s.listed = v.toInt() != 0; }},
    {"saved_utc",
     [](const Signer& s) -> QVariant { return s.savedUtc.toString(Qt::ISODateWithMs); },
     [](Signer& s, const QVariant& v) {
         s.savedUtc = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
     }},
    {"saved_by", [](const Signer& s) -> QVariant { return s.savedBy; },
     [](Signer& s, const QVariant& v) { s.savedBy = v.toString(); }}};
static_assert(namesTheFields(signerColumns, signersTable));

QSqlError insertSigner(QSqlDatabase database, const Dialect& dialect, const QString& savedBy,
                       Signer& signer)
{
    QVariant last;
    QSqlError error = serialised(database, dialect);
    if (!error.isValid())
        error = serverClock(database, dialect, signer.savedUtc);
    if (!error.isValid())
        error = firstValue(database,
                           QStringLiteral("SELECT max(entry) FROM lab_signers WHERE login = ?"),
                           {signer.login}, last);
    if (error.isValid())
        return error;
    signer.entry = last.toInt() + 1;
    signer.savedBy = savedBy;
    QSqlQuery query(database);
    error = exec(query,
                 QStringLiteral("INSERT INTO lab_signers (%1) VALUES (%2)")
                     .arg(columnNames<Signer>(signerColumns), placeholders<Signer>(signerColumns)),
                 valuesOf<Signer>(signerColumns, signer));
    return error.isValid()
               ? error
               : seal(database, dialect, signersTable, {signer.login, signer.entry}, savedBy);
}

} // namespace

LabRefusal signerProblem(const Signer& signer)
{
    const std::pair<const char*, const QString*> texts[] = {
        {"login", &signer.login}, {"name", &signer.name}, {"role", &signer.role}};
    for (const auto& [name, text] : texts)
        if (text->trimmed().isEmpty() || text->size() > 200 || unsafeLine(*text) ||
            holdsInvisible(*text))
            return refusedAs(LabRefusalKind::SignerText, QLatin1String(name));
    for (const QChar c : signer.login)
        if (c.isSpace())
            return refusedAs(LabRefusalKind::SignerLogin);
    return {};
}

StoreFailure addSigner(RecordStore& store, Signer& signer)
{
    return store.change(
        [&](QSqlDatabase database, const Dialect& dialect, const QString& savedBy) {
            return insertSigner(database, dialect, savedBy, signer);
        },
        refusalOf);
}

StoreFailure listSigners(RecordStore& store, QList<Signer>& signers)
{
    signers.clear();
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        if (version < signerVersion)
            return QSqlError();
        QSqlQuery query(database);
        const QSqlError error =
            exec(query,
                 QStringLiteral("SELECT %1 FROM lab_signers s WHERE entry = (SELECT max(n.entry) "
                                "FROM lab_signers n WHERE n.login = s.login) ORDER BY login")
                     .arg(columnNames<Signer>(signerColumns)),
                 {});
        while (!error.isValid() && query.next())
            signers << rowFrom<Signer>(signerColumns, query);
        return error.isValid() ? error : query.lastError();
    });
}

} // namespace quarvet::lab
