#include "gui/app/QtPrompter.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>

namespace fd {

namespace {

QMessageBox::Icon BoxIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

QString StartPath(const FileChoice& choice) {
  if (choice.fileName.empty()) return QString::fromStdString(choice.directory);
  if (choice.directory.empty()) return QString::fromStdString(choice.fileName);
  return QDir(QString::fromStdString(choice.directory)).filePath(QString::fromStdString(choice.fileName));
}

}  // namespace

QString QtFileFilter(const std::string& filter) {
  const QString text = QString::fromStdString(filter);
  if (!text.contains(QLatin1Char('|'))) return text;
  // Pipe form: name, patterns, name, patterns, ... Patterns are separated by ';'.
  const QStringList parts = text.split(QLatin1Char('|'), Qt::SkipEmptyParts);
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString& name = parts[i];
    entries << (name.contains(QLatin1Char('(')) ? name : name + QStringLiteral(" (") + patterns + QLatin1Char(')'));
  }
  if (parts.size() % 2 == 1) entries << parts.back();
  return entries.join(QStringLiteral(";;"));
}

QWidget* QtPrompter::owner() const {
  // A sub-window open over the parent tells its own messages.
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (parent_) return parent_;
  return QApplication::activeWindow();
}

MsgAnswer QtPrompter::message(const std::string& caption, MsgIcon icon, const std::string& text,
                              MsgButtons buttons) {
  QMessageBox box(BoxIcon(icon), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::NoButton, owner());
  switch (buttons) {
    case MsgButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Ok);
      break;
    case MsgButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      // Closing a yes/no question must never read as a yes.
      box.setEscapeButton(QMessageBox::No);
      break;
    case MsgButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
  }
  const int pressed = box.exec();
  switch (pressed) {
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    case QMessageBox::Cancel: return MsgAnswer::Cancel;
    default: break;
  }
  if (buttons == MsgButtons::YesNo) return MsgAnswer::No;
  if (buttons == MsgButtons::YesNoCancel) return MsgAnswer::Cancel;
  return MsgAnswer::Ok;
}

std::optional<std::string> QtPrompter::chooseOpenFile(const FileChoice& choice) {
  const QString path = QFileDialog::getOpenFileName(owner(), QString::fromStdString(choice.title),
                                                    StartPath(choice), QtFileFilter(choice.filter));
  if (path.isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(path).toStdString();
}

std::optional<std::string> QtPrompter::askText(const std::string& title, const std::string& prompt) {
  bool ok = false;
  const QString text = QInputDialog::getText(owner(), QString::fromStdString(title), QString::fromStdString(prompt),
                                             QLineEdit::Normal, QString(), &ok);
  if (!ok) return std::nullopt;
  return text.toStdString();
}

std::optional<std::string> QtPrompter::chooseSaveFile(const FileChoice& choice) {
  const QString path =
      QFileDialog::getSaveFileName(owner(), QString::fromStdString(choice.title), StartPath(choice),
                                   QtFileFilter(choice.filter), nullptr,
                                   choice.confirmOverwrite ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite);
  if (path.isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(path).toStdString();
}

}  // namespace fd
