#include "app/skin.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStringDecoder>
#include <QWidget>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "support/paths.h"

namespace app {

namespace {

// Qt parses a style sheet when it polishes the widgets and only warns about a
// sheet it cannot parse; the warning is caught here to tell the user.
bool g_parseFailed = false;
QtMessageHandler g_previousHandler = nullptr;

void CatchParseWarning(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtWarningMsg && text.contains("Could not parse")) {
    g_parseFailed = true;
    return;
  }
  if (g_previousHandler) g_previousHandler(type, context, text);
}

void Recolour(QWidget& widget, const QColor& colour) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, colour);
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

QString ReadSkin(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    throw std::runtime_error("The skin file " + path +
                             " cannot be read: " + file.errorString().toStdString());
  }
  const QByteArray bytes = file.readAll();
  if (bytes.contains('\0')) {
    throw std::runtime_error("The skin file " + path +
                             " is not a style sheet (it holds binary data).");
  }
  QStringDecoder decode(QStringDecoder::Utf8);
  QString text = decode(bytes);
  if (decode.hasError()) {
    throw std::runtime_error("The skin file " + path + " is not UTF-8 text.");
  }
  return text;
}

}  // namespace

std::string SkinFilePath() {
  return support::ProgramFolder() + support::kSep + "x" + support::kSep + "o.cjs";
}

void ApplySkin(QWidget& window) {
  const std::string path = SkinFilePath();
  std::error_code ec;
  if (support::ProgramFolder().empty() ||
      !std::filesystem::is_regular_file(support::ToFsPath(path), ec)) {
    return;
  }

  const QColor buttonFace = QApplication::palette().color(QPalette::Button);
  Recolour(window, buttonFace);
  for (QWidget* child : window.findChildren<QWidget*>()) {
    if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) ||
        qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child)) {
      Recolour(*child, buttonFace);
    }
  }

  const QString sheet = ReadSkin(path);
  // The sheet names the pictures beside it as "skin:<name>".
  QDir::setSearchPaths("skin", {QString::fromStdString(support::GetFolderPart(path))});
  g_parseFailed = false;
  g_previousHandler = qInstallMessageHandler(CatchParseWarning);
  window.setStyleSheet(sheet);
  window.ensurePolished();
  for (QWidget* child : window.findChildren<QWidget*>()) child->ensurePolished();
  qInstallMessageHandler(g_previousHandler);
  g_previousHandler = nullptr;
  if (g_parseFailed) {
    window.setStyleSheet(QString());
    throw std::runtime_error("The skin file " + path + " is not a valid style sheet.");
  }
}

}  // namespace app
