#pragma once

#include "sheet.h"

#include "records/record.h"

#include <QString>
#include <QStringList>

#include <vector>

// The results of a certificate: a row a result, as found and as left, each to the decimal
// place of its U, marked where it stands apart from the laboratory's scope or was read once;
// and the budget's components they share.
namespace quarvet::certificate {

// A cell where there is nothing to show.
inline const QString absent = QStringLiteral("—");

// Values as read back: the shortest text that reads back to the same number.
QString number(double value);
// The mean of a result's readings, the reading it reports.
double meanOf(const QList<double>& readings);

const std::vector<Column>& resultColumns();
std::vector<QStringList> resultRows(const records::Record& record);
// What the marks of the results mean (outside the scope, U raised to the CMC, read once
// with no repeatability evaluated), as one remark; empty where no result has one.
QString marksRemark(const records::Record& record);
// The set-up's components, the same at every point, with the Type A terms a point adds.
void drawBudget(Sheet& sheet, const records::Record& record);

} // namespace quarvet::certificate
