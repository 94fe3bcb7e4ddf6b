// Typesets the user manual (Markdown) into a PDF with Qt's own text layout and PDF output,
// so that the build needs no document toolchain.
//
//   quillbank-manual-pdf MANUAL.md OUTPUT.pdf

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <cstdio>

namespace {
// The Markdown reader sets headings flush against the text above them and tables with
// hardly any padding; give both some air.
void LoosenLayout(QTextDocument& document) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level == 0) continue;
        QTextBlockFormat format = block.blockFormat();
        format.setTopMargin(level == 1 ? 4 : 14);
        format.setBottomMargin(6);
        QTextCursor(block).setBlockFormat(format);
    }
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        if (table == nullptr) continue;
        QTextTableFormat format = table->format();
        format.setCellPadding(4);
        format.setCellSpacing(0);
        format.setBorderCollapse(true);
        format.setTopMargin(4);
        format.setBottomMargin(8);
        table->setFormat(format);
    }
}

int Fail(const QString& text) {
    std::fprintf(stderr, "quillbank-manual-pdf: %s\n", qPrintable(text));
    return 1;
}
}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) return Fail(QStringLiteral("usage: quillbank-manual-pdf MANUAL.md OUTPUT.pdf"));

    QFile source(args[1]);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text))
        return Fail(QStringLiteral("cannot read %1: %2").arg(args[1], source.errorString()));
    const QString markdown = QString::fromUtf8(source.readAll());
    if (markdown.trimmed().isEmpty()) return Fail(QStringLiteral("%1 is empty").arg(args[1]));

    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    document.setDocumentMargin(0);
    document.setMarkdown(markdown);
    LoosenLayout(document);

    {
        QPdfWriter writer(args[2]);
        writer.setTitle(QStringLiteral("Quillbank User Manual"));
        writer.setCreator(QStringLiteral("Quillbank"));
        writer.setResolution(300);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter));
        // Without a page size of its own the text is laid out on the writer's pages,
        // with page numbers.
        document.print(&writer);
    }

    if (QFileInfo(args[2]).size() == 0) return Fail(QStringLiteral("no PDF written to %1").arg(args[2]));
    return 0;
}
