#include "app/ui/CrashReportBox.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QUrl>

#include "app/CrashReport.h"

namespace tvx {

TCrashReportBox::TCrashReportBox(TDumpObject& dump, QWidget* parent)
    : Exec([](QMessageBox& box) { return box.exec(); }), dump_(dump), parent_(parent) {}

bool TCrashReportBox::Run() {
  TCrashReportUi ui;
  ui.AskToReport = [this](const std::string& question, const std::string& detail) {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kCrashTitle), QString::fromStdString(question),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    if (!detail.empty()) box.setDetailedText(QString::fromStdString(detail));
    return Exec(box) == QMessageBox::Yes;
  };
  ui.CopyToClipboard = [](const std::string& report) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromStdString(report));
  };
  ui.OpenUrl = [](const std::string& url) { QDesktopServices::openUrl(QUrl(QString::fromStdString(url))); };
  ui.ShowInformation = [this](const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Information, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, parent_);
    Exec(box);
  };
  return RunCrashReport(dump_, ui);
}

}  // namespace tvx
