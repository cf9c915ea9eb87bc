#include "aboutwindow.h"

#include "quarvet/version.h"
#include "sysinfo.h"
#include "systemregistry.h"
#include "ui/artwork.h"
#include "ui/clickablelabel.h"
#include "ui/controls.h"
#include "ui/messageservice.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

namespace quarvet::about {
namespace {

// The maker is fictional; its details are placeholders on a reserved domain.
const QString company = QStringLiteral("Quarvet Instruments Ltd.");
const QString street = QStringLiteral("1 Example Street");
const QString town = QStringLiteral("12345 Example Town");
const QString phoneAndFax = QStringLiteral("Phone +00 0000 000000   Fax +00 0000 000001");
const QString webCaption = QStringLiteral("http:\\\\www.quarvet.example");
const QString mailCaption = QStringLiteral("mailto:info@quarvet.example");

class QtLauncher final : public ProgramLauncher {
public:
    bool fileExists(const std::string& path) const override
    {
        return QFileInfo(QString::fromLocal8Bit(path)).isFile();
    }
    bool start(const std::string& path) override
    {
        return !path.empty() && QProcess::startDetached(QString::fromLocal8Bit(path), {});
    }
};

ui::ClickableLabel* addLink(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* link = new ui::ClickableLabel(parent);
    link->setObjectName(QLatin1String(name));
    link->setText(text);
    link->setGeometry(geometry);
    QFont underlined = link->font();
    underlined.setUnderline(true);
    link->setFont(underlined);
    link->setForegroundRole(QPalette::Link);
    return link;
}

} // namespace

AboutWindow::AboutWindow(QWidget* parent)
    : QDialog(parent), linkOpener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      registrySource_(systemRegistry), launcher_(std::make_unique<QtLauncher>())
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(430, 300);
    createControls();
    setWindowTitle(QString::fromUtf8(programTitle) + QStringLiteral("-Info"));
}

AboutWindow::~AboutWindow() = default;

void AboutWindow::createControls()
{
    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("Image1"));
    logo->setGeometry(16, 16, 171, 68);
    logo->setPixmap(ui::logoPixmap(logo->size(), devicePixelRatioF()));

    QLabel* title =
        ui::addLabel(this, "lblTitle", QString::fromUtf8(programTitle), QRect(204, 18, 210, 32));
    title->setFont(ui::arial(16, true));
    ui::addLabel(
        this, "lblVersion",
        QStringLiteral("Version %1.%2.%3").arg(versionMajor).arg(versionMinor).arg(versionRevision),
        QRect(204, 54, 210, 22));

    // Two lines, dark over light, make the engraved rule of a classic about box.
    for (int i = 0; i < 2; ++i) {
        auto* line = new QFrame(this);
        line->setObjectName(QStringLiteral("Line1"));
        line->setGeometry(16, 98 + i, 398, 1);
        line->setAutoFillBackground(true);
        line->setBackgroundRole(i == 0 ? QPalette::Dark : QPalette::Light);
    }

    ui::addLabel(this, "Label1", company, QRect(16, 110, 398, 20));
    ui::addLabel(this, "Label2", street, QRect(16, 132, 398, 20));
    ui::addLabel(this, "Label3", town, QRect(16, 154, 398, 20));
    ui::addLabel(this, "Label4", phoneAndFax, QRect(16, 176, 398, 20));
    auto* web = addLink(this, "lblWeblink", webCaption, QRect(16, 204, 398, 20));
    auto* mail = addLink(this, "lblMailto", mailCaption, QRect(16, 226, 398, 20));
    connect(web, &ui::ClickableLabel::clicked, this, [this, web] { openLink(web->text()); });
    connect(mail, &ui::ClickableLabel::clicked, this, [this, mail] { openLink(mail->text()); });

    QPushButton* ok = ui::addButton(this, "cmdOK", QStringLiteral("&OK"), QRect(314, 258, 100, 30));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::close);
    QPushButton* sysInfo = ui::addButton(this, "cmdSysInfo", QStringLiteral("&System-Info..."),
                                         QRect(194, 258, 110, 30));
    connect(sysInfo, &QPushButton::clicked, this, &AboutWindow::showSystemInformation);
}

void AboutWindow::setLinkOpener(LinkOpener opener)
{
    linkOpener_ = std::move(opener);
}

void AboutWindow::setRegistrySource(RegistrySource source)
{
    registrySource_ = std::move(source);
}

void AboutWindow::setLauncher(std::unique_ptr<ProgramLauncher> launcher)
{
    launcher_ = std::move(launcher);
}

QUrl AboutWindow::linkTarget(const QString& caption)
{
    QString address = caption;
    address.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QUrl(address, QUrl::StrictMode);
}

void AboutWindow::openLink(const QString& caption)
{
    // A link that cannot be opened is passed over: the address stays readable on screen.
    const QUrl target = linkTarget(caption);
    if (target.isValid())
        linkOpener_(target);
}

void AboutWindow::showSystemInformation()
{
    // The registry is read at every start: a tool installed meanwhile is found.
    const std::unique_ptr<Registry> registry = registrySource_();
    if (about::launchSystemInformation(*registry, *launcher_) == SysInfoOutcome::Started)
        return;
    ui::messages().show(this, QString::fromUtf8(programTitle),
                        QStringLiteral("System-Informationen sind augenblicklich nicht verfügbar."),
                        ui::MessageService::Icon::None);
}

} // namespace quarvet::about
