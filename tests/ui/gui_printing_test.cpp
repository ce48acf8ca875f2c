#include "ui/PagePrinter.h"

#include <climits>
#include <fstream>

#include <gtest/gtest.h>

#include <QImage>
#include <QMarginsF>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QTextCursor>
#include <QTextDocument>

#include "editor/PageEditor.h"
#include "support/PdfPages.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

using test::pdfPageCount;

std::u16string paragraphs(int count, const std::u16string& text = u"Some words of a paragraph") {
    std::u16string all;
    for (int i = 0; i < count; ++i) {
        if (i)
            all += u'\r';
        all += text;
    }
    return all;
}

class PrintingTest : public ::testing::Test {
protected:
    void SetUp() override {
        pdf_.setOutputFormat(QPrinter::PdfFormat);
        pdf_.setOutputFileName(QString::fromStdString(dir_.file("out.pdf")));
        pdf_.setPageSize(QPageSize(QPageSize::Letter));
        pdf_.setFullPage(true);
    }
    int printedPages() const { return pdfPageCount(dir_.file("out.pdf")); }

    test::TempDir dir_;
    PageEditor editor_;
    PagePrinter printer_{editor_, nullptr};
    QPrinter pdf_{QPrinter::HighResolution};
};

TEST_F(PrintingTest, JobNameIsTheUnescapedTitle) {
    EXPECT_EQ(printer_.jobName(), QStringLiteral("Tavix Document - "));
    EXPECT_EQ(PagePrinter::jobNameFor(u"Tom &amp; Jerry &lt;3 &#x41;&#66;"),
              QStringLiteral("Tavix Document - Tom & Jerry <3 AB"));
    // References that are not characters stay as written.
    EXPECT_EQ(PagePrinter::jobNameFor(u"a &bogus; &#xD800; &#0; & b"),
              QStringLiteral("Tavix Document - a &bogus; &#xD800; &#0; & b"));
    EXPECT_EQ(PagePrinter::jobNameFor(u"&#x1F600;"),
              QStringLiteral("Tavix Document - ") + QString::fromStdU16String(u"\U0001F600"));

    printer_.setTitleSource([] { return std::u16string(u"Shopping &amp; Cooking"); });
    editor_.SetPlainText(u"text");
    ASSERT_TRUE(printer_.printPages(pdf_, 0, INT_MAX).ok());
    EXPECT_EQ(pdf_.docName(), QStringLiteral("Tavix Document - Shopping & Cooking"));
}

TEST_F(PrintingTest, TextRectangleFromMargins) {
    const PrintMargins defaults;
    EXPECT_EQ(defaults, (PrintMargins{1000, 1000, 1000, 1000}));
    // US Letter at two resolutions: the same twips either way.
    EXPECT_EQ(PagePrinter::textRectTwips(10200, 13200, 1200, 1200, defaults),
              (PagePrinter::TwipsRect{1440, 1440, 10800, 14400}));
    EXPECT_EQ(PagePrinter::textRectTwips(5100, 6600, 600, 600, defaults),
              (PagePrinter::TwipsRect{1440, 1440, 10800, 14400}));
    EXPECT_EQ(PagePrinter::textRectTwips(5100, 6600, 600, 600, PrintMargins{500, 250, 0, 2000}),
              (PagePrinter::TwipsRect{720, 360, 12240, 12960}));
    EXPECT_EQ(PagePrinter::textRectTwips(100, 100, 0, 0, defaults).right, -1440);

    const QRectF rect = printer_.textRectPixels(pdf_);
    const qreal dpi = pdf_.logicalDpiX();
    EXPECT_DOUBLE_EQ(rect.left(), dpi);
    EXPECT_DOUBLE_EQ(rect.top(), dpi);
    EXPECT_NEAR(rect.right(), 7.5 * dpi, 1.0);
    EXPECT_NEAR(rect.bottom(), 10.0 * dpi, 1.0);
}

TEST_F(PrintingTest, EmptyPageIsOneBlankPage) {
    editor_.SetPlainText(u"");
    ASSERT_TRUE(printer_.paginate(pdf_));
    EXPECT_EQ(printer_.pageStarts(), std::vector<int>{0});
    ASSERT_TRUE(printer_.printPages(pdf_, 0, INT_MAX).ok());
    EXPECT_EQ(printedPages(), 1);
}

TEST_F(PrintingTest, PageCountGrowsWithContentAndCoversAllText) {
    editor_.SetPlainText(paragraphs(5));
    ASSERT_TRUE(printer_.paginate(pdf_));
    EXPECT_EQ(printer_.pageCount(), 1);

    editor_.SetPlainText(paragraphs(400));
    ASSERT_TRUE(printer_.paginate(pdf_));
    const std::vector<int> starts = printer_.pageStarts();
    ASSERT_GT(starts.size(), 3u);
    EXPECT_EQ(starts.front(), 0);
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_GT(starts[i], starts[i - 1]);
    EXPECT_LT(starts.back(), editor_.textLength());
    // Every page begins at a paragraph's start here: each paragraph is one line.
    const int paragraphLength = int(std::u16string(u"Some words of a paragraph").size()) + 1;
    for (int s : starts)
        EXPECT_EQ(s % paragraphLength, 0) << s;

    // The last page takes whatever remains.
    PrintLayout layout(*editor_.document(), pdf_, printer_.textRectPixels(pdf_).width());
    EXPECT_EQ(layout.textLength(), editor_.textLength());
    EXPECT_EQ(layout.formatRange(starts.back(), printer_.textRectPixels(pdf_), nullptr), editor_.textLength());

    ASSERT_TRUE(printer_.printPages(pdf_, 0, INT_MAX).ok());
    EXPECT_EQ(printedPages(), int(starts.size()));

    // Wider margins give more pages for the same text.
    printer_.setMargins(PrintMargins{1000, 3000, 1000, 3000});
    ASSERT_TRUE(printer_.paginate(pdf_));
    EXPECT_GT(printer_.pageCount(), int(starts.size()));
}

TEST_F(PrintingTest, PageRangePrintsExactlyThosePages) {
    editor_.SetPlainText(paragraphs(300));
    ASSERT_TRUE(printer_.paginate(pdf_));
    ASSERT_GE(printer_.pageCount(), 4);
    ASSERT_TRUE(printer_.printPages(pdf_, 1, 2).ok());
    EXPECT_EQ(printedPages(), 2);

    // A range beyond the pages there are is cut to them.
    ASSERT_TRUE(printer_.printPages(pdf_, printer_.pageCount() - 1, printer_.pageCount() + 5).ok());
    EXPECT_EQ(printedPages(), 1);
    EXPECT_FALSE(printer_.printPages(pdf_, printer_.pageCount() + 1, printer_.pageCount() + 2).ok());
}

TEST_F(PrintingTest, PreviewFollowsThePrintersMarginsAndChosenRange) {
    QPrinter& own = printer_.printer();
    own.setOutputFormat(QPrinter::PdfFormat);
    own.setOutputFileName(QString::fromStdString(dir_.file("out.pdf")));
    own.setPageSize(QPageSize(QPageSize::Letter));
    editor_.SetPlainText(paragraphs(300));

    ASSERT_TRUE(printer_.renderPreview(&own));
    const int pages = printer_.pageCount();
    EXPECT_EQ(printedPages(), pages);
    ASSERT_GE(pages, 4);

    // Margins set through the preview's own page setup are taken over.
    own.setPageMargins(QMarginsF(0.5, 2.0, 0.5, 2.0), QPageLayout::Inch);
    ASSERT_TRUE(printer_.renderPreview(&own));
    EXPECT_EQ(printer_.margins(), (PrintMargins{500, 2000, 500, 2000}));
    EXPECT_NE(printer_.pageCount(), pages);

    // Printing from the preview honours the chosen range, once.
    own.setPrintRange(QPrinter::PageRange);
    own.setFromTo(2, 3);
    ASSERT_TRUE(printer_.renderPreview(&own));
    EXPECT_EQ(printedPages(), 2);
    EXPECT_EQ(own.printRange(), QPrinter::AllPages);
    ASSERT_TRUE(printer_.renderPreview(&own));
    EXPECT_EQ(printedPages(), printer_.pageCount());
    EXPECT_FALSE(printer_.renderPreview(nullptr));
}

TEST_F(PrintingTest, PrintPageRefusesPagesThatDoNotExist) {
    editor_.SetPlainText(u"one line");
    ASSERT_TRUE(printer_.paginate(pdf_));
    QImage image(100, 100, QImage::Format_RGB32);
    QPainter painter(&image);
    EXPECT_FALSE(printer_.printPage(1, painter, pdf_));
    EXPECT_FALSE(printer_.printPage(-1, painter, pdf_));
    EXPECT_TRUE(printer_.printPage(0, painter, pdf_));
}

TEST_F(PrintingTest, MarginsThatLeaveNoRoomFailWithoutWriting) {
    editor_.SetPlainText(u"text");
    printer_.setMargins(PrintMargins{5000, 1000, 5000, 1000});  // 10 inches across Letter
    EXPECT_FALSE(printer_.paginate(pdf_));
    EXPECT_EQ(printer_.pageCount(), 0);
    EXPECT_FALSE(printer_.printPages(pdf_, 0, INT_MAX).ok());
    EXPECT_FALSE(std::ifstream(dir_.file("out.pdf")).good());
}

// Margins are refused exactly when they leave less than the minimum room
// across or down, the message names the pair at fault, and printing on
// such paper fails with that message and writes nothing.
TEST_F(PrintingTest, RoomIsRefusedExactlyWhenMarginsLeaveTooLittle) {
    const int paperWidth = 8500;
    const int paperHeight = 11000;
    for (int across = 0; across <= paperWidth + 1000; across += 250)
        for (int down : {0, paperHeight - PagePrinter::kMinimumRoom, paperHeight - PagePrinter::kMinimumRoom + 1,
                         paperHeight + 5000}) {
            const PrintMargins m{across / 3, down / 2, across - across / 3, down - down / 2};
            const Status room = PagePrinter::roomFor(m, paperWidth, paperHeight);
            const bool wideEnough = paperWidth - across >= PagePrinter::kMinimumRoom;
            const bool highEnough = paperHeight - down >= PagePrinter::kMinimumRoom;
            ASSERT_EQ(room.ok(), wideEnough && highEnough) << across << " " << down;
            if (!wideEnough) {
                EXPECT_NE(room.message().find("left and right margins"), std::string::npos);
            } else if (!highEnough) {
                EXPECT_NE(room.message().find("top and bottom margins"), std::string::npos);
            }
        }
    EXPECT_EQ(PagePrinter::roomFor(PrintMargins{5000, 1000, 5000, 1000}, 8500, 11000).message(),
              "The left and right margins (12.7 cm and 12.7 cm) leave no room on a 21.6 cm wide page.");
    // Margins beyond any int sum do not wrap around into room.
    EXPECT_FALSE(PagePrinter::roomFor(PrintMargins{INT_MAX, 0, INT_MAX, 0}, 8500, 11000).ok());
    // Paper of no size is no fault of the margins.
    EXPECT_TRUE(PagePrinter::roomFor(PrintMargins{}, 0, 0).ok());

    editor_.SetPlainText(u"text");
    printer_.setMargins(PrintMargins{1000, 5400, 1000, 5400});
    const Status printed = printer_.printPages(pdf_, 0, INT_MAX);
    ASSERT_FALSE(printed.ok());
    EXPECT_NE(printed.message().find("27.9 cm high page"), std::string::npos) << printed.message();
    EXPECT_FALSE(std::ifstream(dir_.file("out.pdf")).good());
}

TEST_F(PrintingTest, LinesTallerThanAPageStillEnd) {
    // Four lines each taller than the page: every one gets a page of its own.
    QTextCursor cursor(editor_.document());
    QTextCharFormat huge;
    huge.setFontPointSize(900);
    for (int i = 0; i < 4; ++i) {
        if (i)
            cursor.insertBlock();
        cursor.insertText(QStringLiteral("W"), huge);
    }
    ASSERT_TRUE(printer_.paginate(pdf_));
    EXPECT_EQ(printer_.pageStarts(), (std::vector<int>{0, 2, 4, 6}));
}

TEST_F(PrintingTest, EditorIsLeftAlone) {
    editor_.SetPlainText(u"See FrontPage and ShoppingList\r" + paragraphs(200));
    const auto marks = editor_.LinkMarksInParagraph(0);
    ASSERT_EQ(marks.size(), 2u);
    const std::u16string rtf = editor_.GetRtf();
    ASSERT_TRUE(printer_.printPages(pdf_, 0, INT_MAX).ok());
    EXPECT_FALSE(editor_.IsModified());
    EXPECT_EQ(editor_.LinkMarksInParagraph(0), marks);
    EXPECT_EQ(editor_.GetRtf(), rtf);
    EXPECT_FALSE(editor_.document()->isUndoAvailable());
}

// Indents are held for the screen; on the printer they must keep their
// size in points whatever its resolution, plain and centred alike.
TEST_F(PrintingTest, IndentsKeepTheirSizeInPoints) {
    editor_.SetRtf(u"{\\rtf1{\\fonttbl{\\f0 Sans;}}"
                   u"\\pard\\s0\\ql\\li0\\f0\\fs24 Plain\\par "
                   u"\\pard\\s0\\ql\\li1134\\f0\\fs24 Indented\\par "
                   u"\\pard\\s1\\qc\\li1134\\f0\\fs24 Centred\\par "
                   u"\\pard\\s1\\qc\\li0\\f0\\fs24 Centred\\par }");
    ASSERT_EQ(editor_.document()->blockCount(), 4);
    for (QPrinter* device : {&pdf_, &printer_.printer()}) {
        const qreal toPoints = 72.0 / device->logicalDpiX();
        PrintLayout layout(*editor_.document(), *device, printer_.textRectPixels(*device).width());
        const QRectF plain = layout.lineRect(0);
        const QRectF indented = layout.lineRect(6);
        const QRectF centredIndented = layout.lineRect(15);
        const QRectF centred = layout.lineRect(23);
        ASSERT_FALSE(plain.isEmpty());
        EXPECT_NEAR((indented.left() - plain.left()) * toPoints, 1134 / 20.0, 0.5) << device->resolution();
        // A centred paragraph is centred between its indents: half the shift.
        EXPECT_NEAR((centredIndented.center().x() - centred.center().x()) * toPoints, 1134 / 40.0, 0.5);
    }
    // The page as printed shows the same.
    ASSERT_TRUE(printer_.printPages(pdf_, 0, 0).ok());
    EXPECT_EQ(printedPages(), 1);
}

// Space between paragraphs keeps its size in points on the printer too.
TEST_F(PrintingTest, SpacingKeepsItsSizeInPoints) {
    editor_.SetRtf(u"{\\rtf1{\\fonttbl{\\f0 Sans;}}"
                   u"\\pard\\s0\\sa0\\f0\\fs24 One\\par "
                   u"\\pard\\s0\\sa0\\f0\\fs24 Two\\par "
                   u"\\pard\\s0\\sb480\\f0\\fs24 Three\\par }");
    const qreal toPoints = 72.0 / pdf_.logicalDpiY();
    PrintLayout layout(*editor_.document(), pdf_, printer_.textRectPixels(pdf_).width());
    const qreal plainStep = (layout.lineRect(4).top() - layout.lineRect(0).top()) * toPoints;
    const qreal spacedStep = (layout.lineRect(8).top() - layout.lineRect(4).top()) * toPoints;
    EXPECT_NEAR(spacedStep - plainStep, 480 / 20.0, 0.5);
}

// Link words are printed as the screen shows them, not in plain black.
TEST_F(PrintingTest, LinkWordsPrintAsOnScreen) {
    editor_.SetPlainText(u"FrontPage");
    ASSERT_EQ(editor_.LinkMarksInParagraph(0).size(), 1u);
    QImage image(600, 200, QImage::Format_RGB32);
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    image.fill(Qt::white);
    PrintLayout layout(*editor_.document(), image, 500);
    QPainter painter(&image);
    layout.formatRange(0, QRectF(50, 50, 500, 100), &painter);
    painter.end();
    const QColor link = editor_.palette().color(QPalette::Link);
    int linkPixels = 0;
    int inked = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qGray(c.rgb()) > 200)
                continue;
            ++inked;
            if (std::abs(c.red() - link.red()) + std::abs(c.green() - link.green()) +
                    std::abs(c.blue() - link.blue()) < 60)
                ++linkPixels;
        }
    ASSERT_GT(inked, 0);
    EXPECT_GT(linkPixels, inked / 3) << inked;
}

TEST(PrintLayoutTest, DrawsOnlyTheLinesThatFit) {
    QTextDocument doc;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(12);
    doc.setDefaultFont(font);
    doc.setPlainText(QStringLiteral("████████\n████████\n████████\n████████"));
    QImage image(400, 400, QImage::Format_RGB32);
    image.setDotsPerMeterX(3780);  // 96 dots per inch
    image.setDotsPerMeterY(3780);
    image.fill(Qt::white);

    PrintLayout layout(doc, image, 300);
    const int lineHeight = int(std::ceil(QFontMetricsF(font, &image).lineSpacing()));
    // Room for two lines and a half: two are drawn, the third waits.
    const QRectF rect(50, 50, 300, 2.5 * lineHeight);
    QPainter painter(&image);
    const int next = layout.formatRange(0, rect, &painter);
    painter.end();
    EXPECT_EQ(next, 18);

    auto darkRows = [&](int fromY, int toY) {
        int rows = 0;
        for (int y = fromY; y < toY; ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128) {
                    ++rows;
                    break;
                }
        return rows;
    };
    EXPECT_EQ(darkRows(0, 50), 0);
    EXPECT_GT(darkRows(50, 50 + 2 * lineHeight), lineHeight);
    EXPECT_EQ(darkRows(50 + 2 * lineHeight + 1, 400), 0);
    // Measuring alone draws nothing and gives the same answer.
    EXPECT_EQ(layout.formatRange(0, rect, nullptr), 18);
    EXPECT_EQ(layout.formatRange(18, rect, nullptr), layout.textLength());
}

}  // namespace
}  // namespace tavix
