// Shows the adjustment check with a known measurement for the screen-reader test: prints what
// each value shows, as one JSON object on one line, again after each change it is asked for,
// and stays until standard input closes.
#include "adjust/adjustmentwindow.h"

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <unistd.h>

namespace {

void type(QWidget* window, const QString& accessibleName, const QString& text)
{
    for (QLineEdit* field : window->findChildren<QLineEdit*>())
        if (field->accessibleName() == accessibleName)
            field->setText(text);
}

// Every value the window shows, by the accessible name a screen reader finds it by.
QJsonObject shownValues(QWidget* window)
{
    QJsonObject shown;
    for (QLabel* label : window->findChildren<QLabel*>())
        if (!label->accessibleName().isEmpty())
            shown[label->accessibleName()] = label->text();
    for (QLineEdit* field : window->findChildren<QLineEdit*>())
        if (field->isReadOnly())
            shown[field->accessibleName()] = field->text();
    return shown;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    auto* window = new quarvet::adjust::AdjustmentWindow;
    // Readings taken under an offset of 0.5: the codes are composed with the current ones.
    window->setMeasurement(0, 100, 1.0, 99.5);
    type(window, QStringLiteral("Current offset code"), QStringLiteral("01F4"));
    type(window, QStringLiteral("Tolerance"), QStringLiteral("0.1"));
    type(window, QStringLiteral("Uncertainty"), QStringLiteral("0.02"));
    type(window, QStringLiteral("As-left reading at point 1"), QStringLiteral("0.03"));
    type(window, QStringLiteral("As-left reading at point 2"), QStringLiteral("99.99"));
    type(window, QStringLiteral("Third point target"), QStringLiteral("50"));
    type(window, QStringLiteral("Third point reading"), QStringLiteral("50.2"));
    window->show();
    const auto print = [window] {
        QTextStream(stdout) << QJsonDocument(shownValues(window)).toJson(QJsonDocument::Compact)
                            << Qt::endl;
    };
    print();
    // An "n" on standard input takes the second as-left reading away, so that the test sees
    // the values follow a change; the end of standard input ends the program.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &application, [&] {
        char byte = 0;
        if (::read(STDIN_FILENO, &byte, 1) <= 0) {
            input.setEnabled(false);
            application.quit();
        } else if (byte == 'n') {
            type(window, QStringLiteral("As-left reading at point 2"), QString());
            print();
        }
    });
    QTimer::singleShot(std::chrono::minutes(1), &application, &QApplication::quit);
    const int status = application.exec();
    delete window;
    return status;
}
