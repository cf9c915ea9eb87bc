#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class QUrl;

namespace quarvet::about {

class ProgramLauncher;
class Registry;

// The about window: title and version, the maker's contact lines and links, and the start
// of the system's information tool.
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    using LinkOpener = std::function<bool(const QUrl&)>;
    using RegistrySource = std::function<std::unique_ptr<Registry>()>;

    explicit AboutWindow(QWidget* parent = nullptr);
    ~AboutWindow() override;

    // What the window reaches the system through; tests put stand-ins in place.
    void setLinkOpener(LinkOpener opener);
    void setRegistrySource(RegistrySource source);
    void setLauncher(std::unique_ptr<ProgramLauncher> launcher);

    // The address a link caption stands for ("http:\\host" is written with backslashes).
    static QUrl linkTarget(const QString& caption);

    void showSystemInformation();

private:
    void createControls();
    void openLink(const QString& caption);

    LinkOpener linkOpener_;
    RegistrySource registrySource_;
    std::unique_ptr<ProgramLauncher> launcher_;
};

} // namespace quarvet::about
