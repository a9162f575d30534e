#include "app/qt_dialogs.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "support/paths.h"

namespace app {

namespace {

QString TitleOrAppTitle(const std::string& title) {
  return QString::fromStdString(title.empty() ? support::AppTitle() : title);
}

}  // namespace

QString ForDisplay(const std::string& text) {
  QString out = QString::fromStdString(text);
  out.replace("\r\n", "\n");
  out.replace('\r', '\n');
  return out;
}

std::string ChosenFolderPath(const QString& qtPath) {
  if (qtPath.isEmpty()) return std::string();
  QString path = QDir::toNativeSeparators(QDir::cleanPath(qtPath));
  const QString root = QDir::toNativeSeparators(QFileInfo(path).absoluteDir().rootPath());
  const bool isRoot = QDir(path).isRoot() || path == root;
  if (isRoot) {
    if (!path.endsWith(QChar(support::kSep))) path += QChar(support::kSep);
  } else {
    while (path.endsWith(QChar(support::kSep))) path.chop(1);
  }
  return path.toStdString();
}

std::string OpenFilesResult(const QStringList& qtPaths) {
  if (qtPaths.isEmpty()) return std::string();
  if (qtPaths.size() == 1) return QDir::toNativeSeparators(qtPaths.front()).toStdString();
  std::string result = ChosenFolderPath(QFileInfo(qtPaths.front()).absolutePath());
  for (const QString& path : qtPaths) {
    result += '\0';
    result += QFileInfo(path).fileName().toStdString();
  }
  return result;
}

QString QtNameFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    // "*.*" means every file to the user; to Qt it means names with a dot.
    for (QString& p : patterns) {
      p = p.trimmed();
      if (p == "*.*") p = "*";
    }
    // Qt reads the patterns from the label's last parentheses.
    QString label = parts[i].trimmed();
    const qsizetype open = label.lastIndexOf('(');
    if (open > 0 && label.endsWith(')')) label = label.left(open).trimmed();
    filters << label + " (" + patterns.join(' ') + ")";
  }
  return filters.join(";;");
}

support::Answer QtDialogs::Message(const std::string& text, support::Buttons buttons,
                                   support::Icon icon, const std::string& title) {
  QMessageBox box(owner_);
  box.setWindowTitle(TitleOrAppTitle(title));
  box.setText(ForDisplay(text));
  box.setTextFormat(Qt::PlainText);
  box.setIcon(icon == support::Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon);
  if (buttons == support::Buttons::YesNo) {
    // Action buttons keep the order in which they are added on every
    // desktop, so Yes stays first as the question expects.
    QPushButton* yes = box.addButton("&Yes", QMessageBox::ActionRole);
    QPushButton* no = box.addButton("&No", QMessageBox::ActionRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? support::Answer::Yes : support::Answer::No;
  }
  QPushButton* ok = box.addButton(QMessageBox::Ok);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  box.exec();
  return support::Answer::Ok;
}

std::string QtDialogs::Input(const std::string& prompt, const std::string& title,
                             const std::string& defaultAnswer) {
  bool ok = false;
  const QString answer =
      QInputDialog::getText(owner_, TitleOrAppTitle(title), ForDisplay(prompt), QLineEdit::Normal,
                            QString::fromStdString(defaultAnswer), &ok);
  return ok ? answer.toStdString() : std::string();
}

std::string QtDialogs::OpenFiles(const std::string& title, const std::string& filter) {
  const QStringList chosen = QFileDialog::getOpenFileNames(owner_, TitleOrAppTitle(title),
                                                           QString(), QtNameFilter(filter));
  return OpenFilesResult(chosen);
}

std::string QtDialogs::BrowseFolder(const std::string& title, const std::string& start) {
  QFileDialog dialog(owner_, TitleOrAppTitle(title));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // The dialog opens in the start folder, so that accepting at once chooses
  // it; a start folder that is gone (or none at all) leaves the default.
  if (!start.empty() && support::IsFolder(start)) {
    dialog.setDirectory(QString::fromStdString(start));
  }
  dialog.setModal(true);
  if (dialog.exec() != QDialog::Accepted) return std::string();
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::string();
  if (!QFileInfo(chosen.front()).isDir()) return std::string();
  return ChosenFolderPath(chosen.front());
}

void QtDialogs::OpenWithShell(const std::string& target) {
  const QString text = QString::fromStdString(target);
  const QUrl url = QFileInfo::exists(text) ? QUrl::fromLocalFile(text) : QUrl::fromUserInput(text);
  QDesktopServices::openUrl(url);
}

}  // namespace app
