#include "dccreader.h"

#include "dccxml.h"

#include <QXmlStreamReader>

#include <vector>

namespace quarvet::dcc {
namespace {

const QString signatureNamespace = QStringLiteral("http://www.w3.org/2000/09/xmldsig#");
const QString markBetween = QStringLiteral(" › ");
constexpr int deepest = 64;
constexpr qsizetype mostValues = 4'000'000;

// What a point's number is: which quantity holds it.
enum class Role { None, Reference, Indicated, Error, Readings };

// An element being read, with what it says about the values inside it.
struct Frame {
    QString local;
    QString refType;
    QString path;
    QString name; // its name's first content, once read
    QString text;
    QString value; // an identification's value, until its name says what it is
    bool hasChildren = false;
    bool compared = true;
    Role role = Role::None;
    int group = -1; // the points of the list that holds it, in `groups`
};

bool holds(const QString& refTypes, QLatin1StringView one)
{
    return refTypes.split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(one);
}

Role roleOf(const QString& refTypes)
{
    if (holds(refTypes, QLatin1StringView("basic_referenceValue")))
        return Role::Reference;
    if (holds(refTypes, QLatin1StringView("basic_measuredValue")))
        return Role::Indicated;
    if (holds(refTypes, QLatin1StringView("basic_measurementError")))
        return Role::Error;
    if (holds(refTypes, QLatin1StringView("quarvet_readings")))
        return Role::Readings;
    return Role::None;
}

class Reader {
public:
    explicit Reader(DccReading& reading) : reading_(reading) {}

    void start(const QXmlStreamReader& xml);
    void end();
    void characters(QStringView text)
    {
        if (!frames_.empty())
            frames_.back().text += text;
    }
    // The points read, in the order their lists began.
    void finish()
    {
        for (const std::vector<DccPoint>& group : groups_)
            for (const DccPoint& point : group)
                if (!point.reference.isEmpty() || !point.error.isEmpty())
                    reading_.points.append(point);
    }

private:
    Frame childFrame(const QXmlStreamReader& xml);
    QStringList names() const;
    QString section() const;
    int pointGroup();
    void assign(const Frame& frame, const QString& text);
    void leaf(const Frame& frame);
    void said(const Frame& frame);

    DccReading& reading_;
    std::vector<Frame> frames_;
    std::vector<std::vector<DccPoint>> groups_;
};

void Reader::start(const QXmlStreamReader& xml)
{
    if (frames_.size() >= deepest) {
        reading_.fault = QStringLiteral("its elements are nested deeper than %1").arg(deepest);
        return;
    }
    Frame frame = childFrame(xml);
    const bool signature = xml.namespaceUri() == signatureNamespace;
    reading_.signedDocument = reading_.signedDocument || (signature && frame.local == "Signature");
    if (!frame.refType.isEmpty())
        frame.path += QLatin1Char('[') + frame.refType + QLatin1Char(']');
    // Which program wrote it, what has superseded it since, and its signature are not what
    // the store answers for.
    frame.compared = frame.compared && !signature && frame.local != "dccSoftware" &&
                     !holds(frame.refType, QLatin1StringView("quarvet_supersededBy"));
    if (holds(frame.refType, QLatin1StringView("quarvet_draft")))
        reading_.kind = QStringLiteral("draft");
    if (holds(frame.refType, QLatin1StringView("quarvet_copy")))
        reading_.kind = QStringLiteral("copy");
    for (const QXmlStreamAttribute& attribute : xml.attributes()) {
        const QString name = attribute.qualifiedName().toString();
        reading_.values.append(
            {frame.path + QStringLiteral("/@") + name,
             (names() + QStringList{frame.local + QLatin1Char(' ') + name}).join(markBetween),
             attribute.value().toString(), frame.compared});
    }
    frames_.push_back(frame);
    if (frame.local == "quantity" && roleOf(frame.refType) != Role::None) {
        frames_.back().role = roleOf(frame.refType);
        frames_.back().group = pointGroup();
    }
}

// The element just begun, with what it takes from the one that holds it.
Frame Reader::childFrame(const QXmlStreamReader& xml)
{
    Frame frame;
    frame.local = xml.name().toString();
    frame.refType = xml.attributes().value(QLatin1String("refType")).toString().simplified();
    if (!frames_.empty()) {
        Frame& parent = frames_.back();
        parent.hasChildren = true;
        frame.compared = parent.compared;
        frame.role = parent.role;
        frame.group = parent.group;
        frame.path = parent.path;
    }
    const QString prefix = xml.namespaceUri() == detail::siNamespace  ? QStringLiteral("si:")
                           : xml.namespaceUri() == signatureNamespace ? QStringLiteral("ds:")
                                                                      : QString();
    frame.path += QLatin1Char('/') + prefix + frame.local;
    return frame;
}

// The names of the parts being read, outermost first.
QStringList Reader::names() const
{
    QStringList names;
    for (const Frame& holder : frames_)
        if (!holder.name.isEmpty())
            names << holder.name;
    return names;
}

// Where the point being read stands: as found, as left, or its result's name.
QString Reader::section() const
{
    for (auto frame = frames_.rbegin(); frame != frames_.rend(); ++frame)
        if (frame->local == "result")
            return holds(frame->refType, QLatin1StringView("basic_asFound"))
                       ? QStringLiteral("as found")
                   : holds(frame->refType, QLatin1StringView("basic_asLeft"))
                       ? QStringLiteral("as left")
                       : frame->name;
    return {};
}

// The points of the list nearest above the quantity being read, begun where none are.
int Reader::pointGroup()
{
    for (auto frame = frames_.rbegin() + 1; frame != frames_.rend(); ++frame) {
        if (frame->local != "list")
            continue;
        if (frame->group < 0) {
            frame->group = int(groups_.size());
            groups_.emplace_back();
        }
        return frame->group;
    }
    return -1;
}

// A number of a point, or one for each point of a list written as one.
void Reader::assign(const Frame& frame, const QString& text)
{
    if (frame.group < 0 || frame.role == Role::None)
        return;
    std::vector<DccPoint>& group = groups_[frame.group];
    const QStringList each = frame.local.endsWith(QLatin1String("XMLList"))
                                 ? text.split(QLatin1Char(' '), Qt::SkipEmptyParts)
                                 : QStringList{text.trimmed()};
    if (group.size() < size_t(each.size()))
        group.resize(each.size());
    const QString section = this->section();
    const QString field =
        frame.local.chopped(frame.local.endsWith(QLatin1String("XMLList")) ? 7 : 0);
    for (size_t n = 0; n < group.size(); ++n) {
        DccPoint& point = group[n];
        const QString& value = each.size() == 1 ? each[0] : each.value(qsizetype(n));
        point.section = section;
        QString* into = nullptr;
        if (field == "value" && frame.role != Role::Readings)
            into = frame.role == Role::Reference   ? &point.reference
                   : frame.role == Role::Indicated ? &point.indicated
                                                   : &point.error;
        else if (frame.role == Role::Error && field == "uncertainty")
            into = &point.U;
        else if (frame.role == Role::Error && field == "coverageFactor")
            into = &point.k;
        else if (frame.role == Role::Error && field == "coverageProbability")
            into = &point.probability;
        else if (frame.role == Role::Readings && field == "content")
            into = &point.readings;
        if (into)
            *into = value;
    }
}

void Reader::end()
{
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    if (!frame.hasChildren)
        leaf(frame);
    said(frame);
}

// An element's text: kept as a value, named by the parts that hold it, and taken into the
// point or the field it says.
void Reader::leaf(const Frame& frame)
{
    reading_.values.append(
        {frame.path, (names() << frame.local).join(markBetween), frame.text, frame.compared});
    const Frame* parent = frames_.empty() ? nullptr : &frames_.back();
    if (frame.local == "content" && parent && parent->local == "name" && frames_.size() >= 2 &&
        frames_[frames_.size() - 2].name.isEmpty())
        frames_[frames_.size() - 2].name = frame.text.simplified();
    if (frame.role == Role::Readings
            ? frame.local == "content" && parent && parent->local == "noQuantity"
            : frame.role != Role::None)
        assign(frame, frame.text);
    if (frame.local.startsWith(QLatin1String("conformity")) && frame.group >= 0)
        for (DccPoint& point : groups_[frame.group])
            point.conformity = frame.text.trimmed();
    if (parent && parent->local == "identification" && frame.local == "value")
        frames_.back().value = frame.text.trimmed();
    // The verdicts overall, in the words of their declaration.
    if (frame.local == "content" && frames_.size() >= 2 && parent->local == "declaration" &&
        frames_[frames_.size() - 2].local == "metaData" && frame.group < 0) {
        const QString& refType = frames_[frames_.size() - 2].refType;
        if (holds(refType, QLatin1StringView("basic_conformity")) &&
            holds(refType, QLatin1StringView("basic_asFound")))
            reading_.asFound = frame.text.simplified();
        if (holds(refType, QLatin1StringView("basic_conformity")) &&
            holds(refType, QLatin1StringView("basic_asLeft")))
            reading_.asLeft = frame.text.simplified();
    }
}

// What a part says of the certificate, once it is read whole.
void Reader::said(const Frame& frame)
{
    const QString& path = frame.path;
    const auto at = [&path](QLatin1StringView end) { return path.endsWith(end); };
    const auto first = [](QString& field, const QString& value) {
        if (field.isEmpty())
            field = value.trimmed();
    };
    if (at(QLatin1StringView("/coreData/uniqueIdentifier")))
        first(reading_.number, frame.text);
    else if (at(QLatin1StringView("/coreData/countryCodeISO3166_1")))
        first(reading_.country, frame.text);
    else if (at(QLatin1StringView("/calibrationLaboratory/contact")))
        first(reading_.laboratory, frame.name);
    else if (at(QLatin1StringView("/administrativeData/customer")))
        first(reading_.customer, frame.name);
    else if (at(QLatin1StringView("/items/item")))
        first(reading_.item, frame.name);
    else if (at(QLatin1StringView("/items/item/model")))
        first(reading_.model, frame.text);
    else if (frame.local == "identification" && path.contains(QLatin1String("/items/item/"))) {
        if (reading_.serial.isEmpty() ||
            frame.name.contains(QLatin1String("serial"), Qt::CaseInsensitive))
            reading_.serial = frame.value;
    } else if (frame.local == "identification" && path.contains(QLatin1String("/coreData/"))) {
        if (holds(frame.refType, QLatin1StringView("quarvet_record")))
            reading_.recordId = frame.value;
        else if (holds(frame.refType, QLatin1StringView("quarvet_recordHash")))
            reading_.recordHash = frame.value;
        else if (holds(frame.refType, QLatin1StringView("quarvet_chainHead")))
            reading_.chainHead = frame.value;
    }
}

// One token of the document: a declaration that could make it grow refused, the root held
// to the DCC's, each element and its text taken.
void step(QXmlStreamReader& xml, Reader& reader, DccReading& reading, bool& root)
{
    switch (xml.readNext()) {
    case QXmlStreamReader::DTD:
        reading.fault = QStringLiteral("it declares a document type, which a DCC has no use for");
        break;
    case QXmlStreamReader::EntityReference:
        reading.fault = QStringLiteral("it refers to an entity it does not define");
        break;
    case QXmlStreamReader::StartElement:
        if (root && (xml.name() != QLatin1String("digitalCalibrationCertificate") ||
                     xml.namespaceUri() != detail::dccNamespace))
            reading.fault = QStringLiteral("its root is not a digitalCalibrationCertificate of "
                                           "the namespace %1")
                                .arg(detail::dccNamespace);
        root = false;
        reader.start(xml);
        break;
    case QXmlStreamReader::EndElement:
        reader.end();
        break;
    case QXmlStreamReader::Characters:
        reader.characters(xml.text());
        break;
    default:
        break;
    }
}

} // namespace

DccReading readDcc(const QByteArray& bytes)
{
    DccReading reading;
    if (bytes.size() > largestDcc) {
        reading.fault = QStringLiteral("it is larger than %1 MiB").arg(largestDcc >> 20);
        return reading;
    }
    QXmlStreamReader xml(bytes);
    Reader reader(reading);
    bool root = true;
    while (!xml.atEnd() && reading.fault.isEmpty() && reading.values.size() < mostValues)
        step(xml, reader, reading, root);
    if (reading.fault.isEmpty() && reading.values.size() >= mostValues)
        reading.fault = QStringLiteral("it holds more than %1 values").arg(mostValues);
    if (reading.fault.isEmpty() && xml.hasError())
        reading.fault = QStringLiteral("line %1, column %2: %3")
                            .arg(xml.lineNumber())
                            .arg(xml.columnNumber())
                            .arg(xml.errorString());
    if (reading.fault.isEmpty() && root)
        reading.fault = QStringLiteral("it holds no element");
    reader.finish();
    return reading;
}

std::optional<DccDifference> firstDifference(const DccReading& file, const DccReading& store)
{
    QList<const DccValue*> found;
    QList<const DccValue*> expected;
    for (const DccValue& value : file.values)
        if (value.compared)
            found.append(&value);
    for (const DccValue& value : store.values)
        if (value.compared)
            expected.append(&value);
    for (qsizetype n = 0; n < std::max(found.size(), expected.size()); ++n) {
        const DccValue* a = found.value(n);
        const DccValue* b = expected.value(n);
        if (a && b && a->path == b->path && a->value == b->value)
            continue;
        if (a && b && a->path == b->path)
            return DccDifference{
                b->path, b->label.isEmpty() ? b->path : b->label, a->value, b->value, false, {}};
        DccDifference difference;
        difference.otherPart = true;
        difference.path = b ? b->path : a->path;
        difference.label = b ? (b->label.isEmpty() ? b->path : b->label) : QString();
        difference.expected = b ? b->value : QString();
        difference.found = a ? a->value : QString();
        difference.fileLabel = a ? (a->label.isEmpty() ? a->path : a->label) : QString();
        return difference;
    }
    return std::nullopt;
}

} // namespace quarvet::dcc
