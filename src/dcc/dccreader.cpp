#include "dccreader.h"

#include "dccxml.h"

#include <QXmlStreamReader>

#include <functional>
#include <vector>

namespace quarvet::dcc {

QString DccValue::label() const
{
    return (names +
            QStringList{attribute.isEmpty() ? element : element + QLatin1Char(' ') + attribute})
        .join(QStringLiteral(" › "));
}

namespace {

const QString signatureNamespace = QStringLiteral("http://www.w3.org/2000/09/xmldsig#");
constexpr int deepest = 64;
constexpr qsizetype mostValues = 4'000'000;
// What the reader keeps of a document, in characters: far above any DCC of thousands of
// points, and below what a document made to multiply paths and names would take.
constexpr qint64 mostKept = 64 * 1024 * 1024;
constexpr qsizetype longestName = 200;
constexpr qsizetype longestRefType = 1000;

// What may differ between two writings of one certificate: which program release wrote it
// (the two texts alone), what has superseded it since (held against the store apart), and
// its signature (checked apart). Only at these places.
const QString supersession = QStringLiteral(
    "/digitalCalibrationCertificate/administrativeData/statements/statement[quarvet_supersededBy]");
const QString signatureHolder = QStringLiteral("/digitalCalibrationCertificate/comment");
const QStringList uncompared{supersession,
                             QStringLiteral("/digitalCalibrationCertificate/comment/ds:Signature")};
// Of these, the text alone: the elements stand where the store writes them.
const QStringList textUncompared{
    QStringLiteral("/digitalCalibrationCertificate/administrativeData/dccSoftware/software/name/"
                   "content"),
    QStringLiteral(
        "/digitalCalibrationCertificate/administrativeData/dccSoftware/software/release")};

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
    int children = 0;
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

// The path's mark of an element's namespace: none for the DCC's, "si:" and "ds:" for D-SI's
// and the XML signature's, the namespace itself for any other, so that an element moved to
// another namespace stands elsewhere.
QString prefixOf(QStringView space)
{
    if (space == detail::dccNamespace)
        return {};
    if (space == detail::siNamespace)
        return QStringLiteral("si:");
    if (space == signatureNamespace)
        return QStringLiteral("ds:");
    return QLatin1Char('{') + space.toString() + QLatin1Char('}');
}

class Reader {
public:
    explicit Reader(DccReading& reading) : reading_(reading) {}

    void start(const QXmlStreamReader& xml);
    void end();
    // A comment or an instruction: kept as a value where it stands, which this program's
    // documents never hold.
    void aside(const QString& kind, const QString& text)
    {
        Frame here;
        here.path = frames_.empty() ? QString() : frames_.back().path;
        here.compared = frames_.empty() || frames_.back().compared;
        here.local = kind;
        value(here, kind, text);
    }
    void characters(QStringView text)
    {
        if (!frames_.empty() && keep(text.size()))
            frames_.back().text += text;
    }
    // The points read, in the order their lists began.
    void finish()
    {
        for (const std::vector<DccPoint>& group : groups_)
            for (const DccPoint& point : group)
                if (!point.reference.isEmpty() || !point.error.isEmpty())
                    reading_.points.append(point);
        if (reading_.kind.isEmpty() && !reading_.recordId.isEmpty())
            reading_.kind = QStringLiteral("issued");
    }

private:
    bool keep(qint64 characters);
    Frame childFrame(const QXmlStreamReader& xml);
    void value(const Frame& frame, const QString& attribute, const QString& text);
    QStringList names() const;
    QString section() const;
    int pointGroup();
    void assign(const Frame& frame, const QString& text);
    void leaf(const Frame& frame);
    void said(const Frame& frame);

    DccReading& reading_;
    std::vector<Frame> frames_;
    std::vector<std::vector<DccPoint>> groups_;
    qint64 kept_ = 0;
};

// Counts what is kept; false, with the fault, past what any DCC needs.
bool Reader::keep(qint64 characters)
{
    kept_ += characters;
    if (kept_ <= mostKept)
        return true;
    if (reading_.fault.isEmpty())
        reading_.fault = QStringLiteral("it holds more than any DCC this program reads");
    return false;
}

void Reader::start(const QXmlStreamReader& xml)
{
    if (frames_.size() >= deepest) {
        reading_.fault = QStringLiteral("its elements are nested deeper than %1").arg(deepest);
        return;
    }
    if (xml.name().size() > longestName ||
        xml.attributes().value(QLatin1String("refType")).size() > longestRefType) {
        reading_.fault = QStringLiteral("an element's name or refType is longer than any DCC's");
        return;
    }
    Frame frame = childFrame(xml);
    const bool signature = xml.namespaceUri() == signatureNamespace && frame.local == "Signature";
    reading_.signatures += signature ? 1 : 0;
    if (!keep(frame.path.size()))
        return;
    if (frame.compared && holds(frame.refType, QLatin1StringView("quarvet_draft")))
        reading_.kind = QStringLiteral("draft");
    if (frame.compared && holds(frame.refType, QLatin1StringView("quarvet_copy")))
        reading_.kind = QStringLiteral("copy");
    // The element itself, so that the document's shape is compared as well as its texts: two
    // elements made of one, or one of two, stand apart.
    // The comment that holds a signature is the signed document's alone.
    Frame shape = frame;
    shape.compared = frame.compared && frame.path != signatureHolder;
    value(shape, QStringLiteral("#element"), QString());
    for (const QXmlStreamAttribute& attribute : xml.attributes())
        value(frame, attribute.qualifiedName().toString(), attribute.value().toString());
    frames_.push_back(frame);
    if (frame.local == "quantity" && roleOf(frame.refType) != Role::None && frame.compared) {
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
        parent.children += 1;
        frame.compared = parent.compared;
        // Of a quantity given in two units at once, the first is read.
        frame.role = parent.local == "hybrid" && parent.children > 1 ? Role::None : parent.role;
        frame.group = parent.group;
        frame.path = parent.path;
    }
    frame.path += QLatin1Char('/') + prefixOf(xml.namespaceUri()) + frame.local;
    if (!frame.refType.isEmpty())
        frame.path += QLatin1Char('[') + frame.refType + QLatin1Char(']');
    frame.compared = frame.compared && !uncompared.contains(frame.path);
    return frame;
}

void Reader::value(const Frame& frame, const QString& attribute, const QString& text)
{
    // Each value holds its text, and the names above it shared with the others.
    if (!keep(text.size() + attribute.size() + qint64(frames_.size()) * 8 + 64))
        return;
    reading_.values.append({frame.path, attribute, names(), frame.local, text, frame.compared});
    if (frame.path.startsWith(supersession))
        reading_.supersession << reading_.values.back().where() + QLatin1Char('=') + text;
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

// Where in a point a field of a quantity of `role` goes; none where it is not one it reads.
QString* fieldOf(DccPoint& point, Role role, const QString& field)
{
    if (field == "value" && role != Role::Readings)
        return role == Role::Reference   ? &point.reference
               : role == Role::Indicated ? &point.indicated
                                         : &point.error;
    if (field == "unit" && role != Role::Readings)
        return role == Role::Error       ? &point.errorUnit
               : role == Role::Indicated ? &point.indicatedUnit
                                         : &point.unit;
    if (role == Role::Error && field == "uncertainty")
        return &point.U;
    if (role == Role::Error && field == "coverageFactor")
        return &point.k;
    if (role == Role::Error && field == "coverageProbability")
        return &point.probability;
    if (role == Role::Readings && field == "content")
        return &point.readings;
    return nullptr;
}

// A field of each point of a list, from a value, or one for each point of a list written as
// one.
void assignEach(std::vector<DccPoint>& group, const QString& section, const QString& local,
                const QString& text, const std::function<QString*(DccPoint&)>& field,
                const std::function<bool(qint64)>& keep)
{
    const bool listed = local.endsWith(QLatin1String("XMLList"));
    const QStringList each =
        listed ? text.split(QLatin1Char(' '), Qt::SkipEmptyParts) : QStringList{text.trimmed()};
    // A value given once for a list that has it already changes nothing: not gone through
    // again for each point, however often it is given.
    if (each.isEmpty() || (each.size() == 1 && each[0].isEmpty()))
        return;
    if (each.size() == 1 && !group.empty() &&
        (!field(group.back()) || !field(group.back())->isEmpty()))
        return;
    if (group.size() < size_t(each.size())) {
        if (!keep(qint64(each.size() - group.size()) * qint64(sizeof(DccPoint))))
            return;
        group.resize(each.size());
    }
    for (size_t n = 0; n < group.size(); ++n) {
        group[n].section = section;
        QString* into = field(group[n]);
        // A unit or a k given once holds for each point of the list; a value, for its own.
        if (into && into->isEmpty())
            *into = each.size() == 1 ? each[0] : each.value(qsizetype(n));
    }
}

void Reader::assign(const Frame& frame, const QString& text)
{
    if (frame.group < 0 || frame.role == Role::None)
        return;
    const QString field =
        frame.local.chopped(frame.local.endsWith(QLatin1String("XMLList")) ? 7 : 0);
    assignEach(
        groups_[frame.group], section(), frame.local, text,
        [&](DccPoint& point) { return fieldOf(point, frame.role, field); },
        [this](qint64 size) { return keep(size); });
}

void Reader::end()
{
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    if (frame.children == 0)
        leaf(frame);
    else if (!frame.text.trimmed().isEmpty())
        value(frame, QStringLiteral("#text"), frame.text);
    if (frame.compared)
        said(frame);
}

// An element's text: kept as a value, named by the parts that hold it, and taken into the
// point or the field it says.
void Reader::leaf(const Frame& frame)
{
    Frame text = frame;
    text.compared = frame.compared && !textUncompared.contains(frame.path);
    value(text, {}, frame.text);
    if (frame.path == supersession + QStringLiteral("/declaration/content"))
        reading_.supersededBy = frame.text;
    if (!frame.compared)
        return;
    const Frame* parent = frames_.empty() ? nullptr : &frames_.back();
    if (frame.local == "content" && parent && parent->local == "name" && frames_.size() >= 2 &&
        frames_[frames_.size() - 2].name.isEmpty())
        frames_[frames_.size() - 2].name = frame.text.simplified().left(longestName);
    if (frame.role == Role::Readings
            ? frame.local == "content" && parent && parent->local == "noQuantity"
            : frame.role != Role::None)
        assign(frame, frame.text);
    if (frame.local.startsWith(QLatin1String("conformity")) && frame.group >= 0)
        assignEach(
            groups_[frame.group], section(), frame.local, frame.text,
            [](DccPoint& point) { return &point.conformity; },
            [this](qint64 size) { return keep(size); });
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
    if (at(QLatin1StringView("/statement[quarvet_timeZone]/convention")))
        first(reading_.timeZone, frame.text);
    else if (at(QLatin1StringView("/coreData/uniqueIdentifier")))
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
    case QXmlStreamReader::Comment:
        reader.aside(QStringLiteral("#comment"), xml.text().toString());
        break;
    case QXmlStreamReader::ProcessingInstruction:
        // A style sheet named here would show a reader other values than the document's.
        reader.aside(QStringLiteral("#instruction"),
                     xml.processingInstructionTarget().toString() + QLatin1Char(' ') +
                         xml.processingInstructionData().toString());
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
        const bool samePlace = a && b && a->path == b->path && a->attribute == b->attribute;
        if (samePlace && a->value == b->value)
            continue;
        if (samePlace)
            return DccDifference{b->where(), b->label(), a->value, b->value, false, {}, {}};
        DccDifference difference;
        difference.otherPart = true;
        difference.path = b ? b->where() : a->where();
        difference.label = b ? b->label() : QString();
        difference.expected = b ? b->value : QString();
        difference.found = a ? a->value : QString();
        difference.fileLabel = a ? a->label() : QString();
        difference.filePath = a ? a->where() : QString();
        return difference;
    }
    return std::nullopt;
}

} // namespace quarvet::dcc
