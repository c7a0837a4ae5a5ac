// flashdock-manual-pdf: the user's manual as a PDF, made from the Markdown chapters under
// docs/manual/ and the window pictures the build takes.
//
//   flashdock-manual-pdf OUT.pdf CHAPTER_DIR SHOTS_DIR [--pages PNG_DIR]
//
// Chapters are the *.md files of CHAPTER_DIR in name order, each beginning a page. A picture
// "shots/NAME.png" is read from SHOTS_DIR; one that cannot be read fails the run, so the
// manual never ships with a hole where a window should be. The first page carries the title
// and the contents with page numbers; every other page a footer with the title and its
// number. --pages also draws each page into PNG_DIR, to look at the layout.
//
// Exit codes: 0 written, 1 a chapter, picture or the output could not be read or written
// (the earlier PDF is left as it was), 2 usage.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextStream>
#include <QTextTable>
#include <QAbstractTextDocumentLayout>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr const char* kTitle = "ZK40 Family Flashdock User's Manual";
// A4 in the document's units (1/96 inch) and its margins.
constexpr qreal kPageWidth = 793.7;
constexpr qreal kPageHeight = 1122.5;
constexpr qreal kMargin = 72.0;
constexpr qreal kFooter = 40.0;  // below the text: the footer line and page number
constexpr qreal kTextWidth = kPageWidth - 2 * kMargin;
constexpr int kPdfDpi = 300;

void Say(const QString& text) { std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData()); }

struct Chapter {
  QString title;
  int page = 0;  // 1-based, counting the title page
};

// The chapters' Markdown, joined; false with a message when one cannot be read.
bool ReadChapters(const QString& dir, QString& markdown, QString& error) {
  const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*.md")}, QDir::Files, QDir::Name);
  if (files.isEmpty()) {
    error = QStringLiteral("No chapter (*.md) in %1.").arg(dir);
    return false;
  }
  for (const QFileInfo& info : files) {
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly)) {
      error = QStringLiteral("Can not read the chapter %1: %2.").arg(info.filePath(), file.errorString());
      return false;
    }
    markdown += QString::fromUtf8(file.readAll());
    markdown += QStringLiteral("\n\n");
  }
  return true;
}

// Gives every picture its image, no wider than the text; false naming the first one missing.
bool AttachPictures(QTextDocument& doc, const QString& shotsDir, QString& error) {
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.charFormat().isImageFormat()) continue;
      QTextImageFormat format = fragment.charFormat().toImageFormat();
      const QString name = format.name();
      const QString path = QDir(shotsDir).filePath(QFileInfo(name).fileName());
      QImage image(path);
      if (image.isNull()) {
        error = QStringLiteral("The picture \"%1\" (%2) can not be read.").arg(name, path);
        return false;
      }
      doc.addResource(QTextDocument::ImageResource, QUrl(name), image);
      const qreal width = qMin<qreal>(image.width(), kTextWidth);
      format.setWidth(width);
      format.setHeight(width * image.height() / image.width());
      QTextCursor cursor(&doc);
      cursor.setPosition(fragment.position());
      cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
      cursor.setCharFormat(format);
    }
  }
  return true;
}

// Room around headings, paragraphs and code; ruled tables across the text's width; code
// in a fixed-pitch font on grey; chapters each on a new page. Returns the chapters' titles
// for the contents.
std::vector<Chapter> Shape(QTextDocument& doc) {
  std::vector<Chapter> chapters;
  QTextCursor cursor(&doc);
  QFont mono(QStringLiteral("DejaVu Sans Mono"));
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    QTextBlockFormat format = block.blockFormat();
    const int level = format.headingLevel();
    const bool code = format.hasProperty(QTextFormat::BlockCodeFence) || format.nonBreakableLines();
    QTextTable* table = QTextCursor(block).currentTable();
    if (table != nullptr) {
      QTextTableFormat tableFormat = table->format();
      if (!tableFormat.hasProperty(QTextFormat::UserProperty)) {
        tableFormat.setProperty(QTextFormat::UserProperty, true);  // shaped
        tableFormat.setBorder(0.5);
        tableFormat.setBorderBrush(QColor(150, 150, 150));
        tableFormat.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        tableFormat.setBorderCollapse(true);
        tableFormat.setCellPadding(4);
        tableFormat.setCellSpacing(0);
        tableFormat.setTopMargin(4);
        tableFormat.setBottomMargin(8);
        tableFormat.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        tableFormat.setHeaderRowCount(1);  // repeated at the top of each page the table runs onto
        table->setFormat(tableFormat);
        for (int row = 0; row < table->rows(); ++row) {
          for (int column = 0; column < table->columns(); ++column) {
            QTextTableCell cell = table->cellAt(row, column);
            QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
            cellFormat.setPadding(4);
            cellFormat.setBorder(0.5);
            cellFormat.setBorderBrush(QColor(150, 150, 150));
            cellFormat.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
            if (row == 0) cellFormat.setBackground(QColor(232, 236, 242));
            cell.setFormat(cellFormat);
          }
        }
      }
    } else if (level == 1) {
      chapters.push_back({block.text(), 0});
      if (chapters.size() > 1) format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
      format.setBottomMargin(12);
    } else if (level > 1) {
      format.setTopMargin(level == 2 ? 16 : 10);
      format.setBottomMargin(6);
    } else if (code) {
      format.setBackground(QColor(242, 242, 242));
      format.setLeftMargin(8);
      format.setTopMargin(2);
      format.setBottomMargin(2);
    } else if (block.textList() == nullptr) {
      format.setBottomMargin(7);
    }
    cursor.setPosition(block.position());
    cursor.setBlockFormat(format);
    // Code, whole blocks or words in a sentence, in the fixed-pitch font.
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      QTextCharFormat chars = fragment.charFormat();
      if (chars.isImageFormat() || !(code || chars.fontFixedPitch())) continue;
      chars.setFontFamilies({mono.family()});
      chars.setFontPointSize(9);
      if (!code) chars.setBackground(QColor(238, 238, 238));
      cursor.setPosition(fragment.position());
      cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
      cursor.setCharFormat(chars);
    }
  }
  return chapters;
}

void DrawTitlePage(QPainter& painter, const std::vector<Chapter>& chapters, const QString& version) {
  QFont title(QStringLiteral("DejaVu Sans"), 22, QFont::Bold);
  painter.setFont(title);
  painter.drawText(QRectF(kMargin, 200, kTextWidth, 80), Qt::AlignHCenter | Qt::TextWordWrap, QString::fromUtf8(kTitle));
  QFont sub(QStringLiteral("DejaVu Sans"), 11);
  painter.setFont(sub);
  painter.drawText(QRectF(kMargin, 290, kTextWidth, 30), Qt::AlignHCenter, QStringLiteral("Version %1").arg(version));
  QFont heading(QStringLiteral("DejaVu Sans"), 13, QFont::Bold);
  painter.setFont(heading);
  qreal y = 400;
  painter.drawText(QRectF(kMargin, y, kTextWidth, 24), Qt::AlignLeft, QStringLiteral("Contents"));
  y += 34;
  painter.setFont(sub);
  const qreal line = painter.fontMetrics().height() * 1.5;
  for (const Chapter& chapter : chapters) {
    const QRectF row(kMargin, y, kTextWidth, line);
    painter.drawText(row, Qt::AlignLeft | Qt::AlignVCenter, chapter.title);
    painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter, QString::number(chapter.page));
    y += line;
  }
}

void DrawFooter(QPainter& painter, int page) {
  QFont font(QStringLiteral("DejaVu Sans"), 8);
  painter.setFont(font);
  painter.setPen(QColor(90, 90, 90));
  const qreal y = kPageHeight - kMargin + 8;
  painter.drawLine(QPointF(kMargin, y), QPointF(kPageWidth - kMargin, y));
  const QRectF row(kMargin, y + 4, kTextWidth, kFooter - 12);
  painter.drawText(row, Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8(kTitle));
  painter.drawText(row, Qt::AlignRight | Qt::AlignTop, QString::number(page));
  painter.setPen(Qt::black);
}

// Draws page `index` (0: the title page) in document units.
void DrawPage(QPainter& painter, QTextDocument& doc, const std::vector<Chapter>& chapters, const QString& version,
              int index) {
  if (index == 0) {
    DrawTitlePage(painter, chapters, version);
    return;
  }
  const qreal bodyHeight = doc.pageSize().height();
  painter.save();
  painter.translate(kMargin, kMargin - (index - 1) * bodyHeight);
  QAbstractTextDocumentLayout::PaintContext context;
  context.clip = QRectF(0, (index - 1) * bodyHeight, kTextWidth, bodyHeight);
  painter.setClipRect(context.clip);
  doc.documentLayout()->draw(&painter, context);
  painter.restore();
  DrawFooter(painter, index + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  QString pagesDir;
  if (const qsizetype at = args.indexOf(QStringLiteral("--pages")); at >= 0) {
    if (at + 1 >= args.size() || args[at + 1].isEmpty()) {
      Say(QStringLiteral("usage: --pages needs a folder"));
      return 2;
    }
    pagesDir = args[at + 1];
    args.remove(at, 2);
  }
  if (args.size() != 3 || args[0].isEmpty() || args[1].isEmpty() || args[2].isEmpty()) {
    Say(QStringLiteral("usage: flashdock-manual-pdf OUT.pdf CHAPTER_DIR SHOTS_DIR [--pages PNG_DIR]"));
    return 2;
  }
  const QString out = args[0], chapterDir = args[1], shotsDir = args[2];

  QString markdown, error;
  if (!ReadChapters(chapterDir, markdown, error)) {
    Say(error);
    return 1;
  }
  QTextDocument doc;
  QFont body(QStringLiteral("DejaVu Sans"), 10);
  doc.setDefaultFont(body);
  doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
  if (!AttachPictures(doc, shotsDir, error)) {
    Say(error);
    return 1;
  }
  std::vector<Chapter> chapters = Shape(doc);
  // The body's pages: the text's width, the page's height less the margins and footer.
  doc.setPageSize(QSizeF(kTextWidth, kPageHeight - 2 * kMargin));
  doc.rootFrame()->setFrameFormat([&] {
    QTextFrameFormat format = doc.rootFrame()->frameFormat();
    format.setMargin(0);
    return format;
  }());
  const qreal bodyHeight = doc.pageSize().height();
  {
    std::size_t next = 0;
    for (QTextBlock block = doc.begin(); block.isValid() && next < chapters.size(); block = block.next()) {
      if (block.blockFormat().headingLevel() != 1) continue;
      const qreal top = doc.documentLayout()->blockBoundingRect(block).top();
      chapters[next++].page = 2 + static_cast<int>(top / bodyHeight);
    }
  }
  const int pages = 1 + doc.pageCount();
  const QString version = QStringLiteral(FLASHDOCK_VERSION);

  // Written to a temporary file and put in place whole: a failed run leaves the last manual.
  QSaveFile file(out);
  if (!file.open(QIODevice::WriteOnly)) {
    Say(QStringLiteral("Can not write %1: %2.").arg(out, file.errorString()));
    return 1;
  }
  {
    QPdfWriter writer(&file);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(kPdfDpi);
    writer.setTitle(QString::fromUtf8(kTitle));
    writer.setCreator(QStringLiteral("Flashdock"));
    QPainter painter(&writer);
    const qreal scale = kPdfDpi / 96.0;
    for (int index = 0; index < pages; ++index) {
      if (index > 0) writer.newPage();
      painter.save();
      painter.scale(scale, scale);
      DrawPage(painter, doc, chapters, version, index);
      painter.restore();
    }
    painter.end();
  }
  if (!file.commit()) {
    Say(QStringLiteral("Can not write %1: %2.").arg(out, file.errorString()));
    return 1;
  }
  if (!pagesDir.isEmpty()) {
    QDir().mkpath(pagesDir);
    for (int index = 0; index < pages; ++index) {
      QImage image(QSize(qRound(kPageWidth), qRound(kPageHeight)), QImage::Format_RGB32);
      image.fill(Qt::white);
      QPainter painter(&image);
      painter.setRenderHint(QPainter::Antialiasing);
      DrawPage(painter, doc, chapters, version, index);
      painter.end();
      image.save(QDir(pagesDir).filePath(QStringLiteral("page-%1.png").arg(index + 1, 2, 10, QLatin1Char('0'))));
    }
  }
  std::printf("Wrote %s: %d pages, %zu chapters.\n", out.toLocal8Bit().constData(), pages, chapters.size());
  return 0;
}
