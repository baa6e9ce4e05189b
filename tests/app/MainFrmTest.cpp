// The main window as the operator meets it: start-up state, status refresh, hints,
// the error display and the layout.

#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "TestFrame.h"
#include "WineParts.h"
#include "app/PanelStatusBar.h"

namespace ixo::test {
namespace {

std::vector<QToolButton*> AllButtons(TMainFrame& frame) {
    return {frame.SetSerialPortBtn, frame.OpenFileBtn, frame.SaveObjFileBtn,
            frame.SaveAsmFileBtn,   frame.ProgDisBtn,  frame.ProgEnBtn,
            frame.WriteProgtBtn,    frame.ReadProgBtn, frame.VerifyProgBtn};
}

// Every window here starts with a port map of the test's own, all ports absent.
class MainFrame : public testing::Test {
protected:
    OwnPorts ports;
};

// Shows the window and lets it lay itself out.
void Show(QWidget& frame) {
    frame.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&frame));
}

TEST_F(MainFrame, StartsEmptyWithTheLinkClosedAndEveryDeviceButtonOff) {
    TestFrame frame;
    EXPECT_EQ(frame.windowTitle(), "Ixo Loader");
    // The link was opened on COM1 at start; COM1 is absent here, so it is closed.
    EXPECT_EQ(frame.Connection.Port().Number, 1);
    EXPECT_FALSE(frame.Connection.OpenError().empty());
    EXPECT_FALSE(frame.LinkIsOpen());
    EXPECT_EQ(frame.PortNumber, 1);
    EXPECT_TRUE(frame.ProgEnabled);
    EXPECT_EQ(frame.Image.WordCount, 0);
    EXPECT_TRUE(frame.FileName.empty());
    EXPECT_TRUE(frame.AsmOut->toPlainText().isEmpty());
    EXPECT_EQ(frame.IntProgSelCb->currentIndex(), 0);
    EXPECT_EQ(frame.IntProgSelCb->currentText(), "Ext");
    EXPECT_TRUE(frame.CWLab->text().isEmpty());
    for (int bar = 0; bar < 2; ++bar) {
        PanelStatusBar* status = bar == 0 ? frame.StatusBar : frame.ComStatusBar;
        // All empty, but for the hint area, which says why COM1 did not open.
        for (int i = 0; i < status->PanelCount(); ++i) {
            const bool why = status == frame.StatusBar && i == 1;
            EXPECT_EQ(status->PanelText(i).startsWith("COM1: "), why) << bar << " " << i;
            EXPECT_EQ(status->PanelText(i).isEmpty(), !why) << bar << " " << i;
        }
    }
    // UpdateStatus has overwritten the enabled states given at creation.
    for (QToolButton* off :
         {frame.ReadProgBtn, frame.WriteProgtBtn, frame.VerifyProgBtn, frame.ProgEnBtn,
          frame.ProgDisBtn, frame.SaveObjFileBtn, frame.SaveAsmFileBtn}) {
        EXPECT_FALSE(off->isEnabled()) << off->objectName().toStdString();
    }
    for (QWidget* on :
         std::vector<QWidget*>{frame.SetSerialPortBtn, frame.OpenFileBtn, frame.IntProgSelCb}) {
        EXPECT_TRUE(on->isEnabled()) << on->objectName().toStdString();
    }
    EXPECT_TRUE(frame.Messages.empty());
}

struct StatusCase {
    const char* Name;
    int WordCount;
    const char* Listing;
    const char* FileName;
    bool ProgEnabled;
    bool SaveObj;
    bool SaveAsm;
    const char* ShownName;
};

// Without an open link the device buttons stay off whatever the program and the
// mode; the save buttons follow the image and the listing; the project name is
// shown without its extension.
TEST_F(MainFrame, UpdateStatusWithoutAnOpenLink) {
    const StatusCase cases[] = {
        {"nothing", 0, "", "", true, false, false, ""},
        {"words, no listing", 3, "", "/tmp/work/prog.obj", true, true, false, "/tmp/work/prog"},
        {"listing, no words", 0, "LFO0", "prog.asm", true, false, true, "prog"},
        {"full program, mode off", 128, "a\nb", "/x.y/noext", false, true, true, "/x.y/noext"},
        {"one empty line is a line", 0, "\n", "C:\\dir\\p.obj", true, false, true, "C:\\dir\\p"},
        {"dot files keep their name", 1, "", "/tmp/..", true, true, false, "/tmp/.."},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TestFrame frame;
        frame.Image.WordCount = c.WordCount;
        frame.AsmOut->setPlainText(QString::fromLatin1(c.Listing));
        frame.FileName = c.FileName;
        frame.ProgEnabled = c.ProgEnabled;
        frame.UpdateStatus();
        EXPECT_EQ(frame.SaveObjFileBtn->isEnabled(), c.SaveObj);
        EXPECT_EQ(frame.SaveAsmFileBtn->isEnabled(), c.SaveAsm);
        EXPECT_EQ(frame.ComStatusBar->PanelText(0), "");
        EXPECT_EQ(frame.ComStatusBar->PanelText(1), c.ShownName);
        for (QToolButton* off : {frame.ReadProgBtn, frame.WriteProgtBtn, frame.VerifyProgBtn,
                                 frame.ProgEnBtn, frame.ProgDisBtn}) {
            EXPECT_FALSE(off->isEnabled()) << off->objectName().toStdString();
        }
        EXPECT_TRUE(frame.SetSerialPortBtn->isEnabled());
        EXPECT_TRUE(frame.OpenFileBtn->isEnabled());
        EXPECT_TRUE(frame.IntProgSelCb->isEnabled());
    }
}

TEST_F(MainFrame, EditingTheListingChangesNoButtonUntilTheNextRefresh) {
    TestFrame frame;
    Show(frame);
    frame.AsmOut->setFocus();
    QTest::keyClicks(frame.AsmOut, "NOP");
    EXPECT_EQ(frame.AsmOut->toPlainText(), "NOP");
    EXPECT_FALSE(frame.SaveAsmFileBtn->isEnabled());
    frame.UpdateStatus();
    EXPECT_TRUE(frame.SaveAsmFileBtn->isEnabled());
}

// The nine speed buttons: names, hints and pictures.
TEST_F(MainFrame, SpeedButtonsCarryTheirNamesHintsAndPictures) {
    struct ButtonCase {
        const char* Name;
        const char* Tip;
        const char* Status;
        int Picture;
    };
    const ButtonCase cases[] = {
        {"SetSerialPortBtn", "Port", "COM port selection", 21},
        {"OpenFileBtn", "Open obj", "Open object file", 21},
        {"SaveObjFileBtn", "Save obj", "Save object file", 21},
        {"SaveAsmFileBtn", "Save asm", "Save asm file", 21},
        {"ProgDisBtn", "Disable prog", "Disable programming", 16},
        {"ProgEnBtn", "Enable prog", "Enable programming", 16},
        {"WriteProgtBtn", "Write program", "Write program to IXO", 21},
        {"ReadProgBtn", "Read prog", "Read program from IXO", 21},
        {"VerifyProgBtn", "Verify prog", "Verify program with IXO", 21},
    };
    TestFrame frame;
    const std::vector<QToolButton*> buttons = AllButtons(frame);
    ASSERT_EQ(buttons.size(), std::size(cases));
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const ButtonCase& c = cases[i];
        SCOPED_TRACE(c.Name);
        QToolButton* button = buttons[i];
        EXPECT_EQ(button->objectName(), c.Name);
        EXPECT_EQ(frame.findChild<QToolButton*>(c.Name), button);
        EXPECT_EQ(button->toolTip(), c.Tip);
        EXPECT_EQ(button->statusTip(), c.Status);
        EXPECT_TRUE(button->autoRaise());
        EXPECT_EQ(button->iconSize(), QSize(c.Picture, c.Picture));
        // A picture with a greyed twin for the disabled state.
        const QImage normal = button->icon().pixmap(c.Picture, QIcon::Normal).toImage();
        const QImage greyed = button->icon().pixmap(c.Picture, QIcon::Disabled).toImage();
        ASSERT_EQ(normal.size(), QSize(c.Picture, c.Picture));
        EXPECT_NE(normal, greyed);
        bool coloured = false;
        for (int y = 0; y < greyed.height(); ++y) {
            for (int x = 0; x < greyed.width(); ++x) {
                const QColor p = greyed.pixelColor(x, y);
                if (p.alpha() > 0 && !(p.red() == p.green() && p.green() == p.blue())) {
                    coloured = true;
                }
            }
        }
        EXPECT_FALSE(coloured) << "the disabled twin holds only greys";
        // Each dark pixel of the picture is grey in the twin, over a white shadow one
        // pixel down and right; nothing else is drawn.
        const auto dark = [&normal](int x, int y) {
            if (x < 0 || y < 0) return false;
            const QColor p = normal.pixelColor(x, y);
            return p.alpha() >= 128 && qGray(p.rgb()) < 192;
        };
        int wrong = 0;
        for (int y = 0; y < greyed.height(); ++y) {
            for (int x = 0; x < greyed.width(); ++x) {
                const QColor want = dark(x, y)           ? QColor(0x80, 0x80, 0x80)
                                    : dark(x - 1, y - 1) ? QColor(Qt::white)
                                                         : QColor(Qt::transparent);
                if (greyed.pixelColor(x, y).rgba() != want.rgba()) ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0) << "pixels of the disabled twin that break its rule";
    }
    // Write, read and verify are told apart by their pictures, so are the lamps.
    auto image = [](QToolButton* b) { return b->icon().pixmap(b->iconSize()).toImage(); };
    EXPECT_NE(image(frame.WriteProgtBtn), image(frame.ReadProgBtn));
    EXPECT_NE(image(frame.ReadProgBtn), image(frame.VerifyProgBtn));
    EXPECT_NE(image(frame.ProgEnBtn), image(frame.ProgDisBtn));
    EXPECT_EQ(image(frame.SaveObjFileBtn), image(frame.SaveAsmFileBtn));
}

TEST_F(MainFrame, ProgramSelectorListsTheSeventeenProgramsAndShowsThemAll) {
    const char* const expected[] = {
        "Ext",     "Hall 1",        "Hall 2",        "Room 1",       "Room 2",        "Room 3",
        "Plate 1", "Plate 2",       "Plate 3",       "Chorus",       "Flange",        "Delay 1",
        "Delay 2", "Chorus/Room 1", "Chorus/Room 2", "Voice cancel", "Rotary speaker"};
    TestFrame frame;
    ASSERT_EQ(frame.IntProgSelCb->count(), 17);
    for (int i = 0; i < 17; ++i) EXPECT_EQ(frame.IntProgSelCb->itemText(i), expected[i]) << i;
    EXPECT_FALSE(frame.IntProgSelCb->isEditable());
    EXPECT_EQ(frame.IntProgSelCb->maxVisibleItems(), 17);
    EXPECT_EQ(frame.Label1->text(), "Ext/Int");
    EXPECT_EQ(frame.Label1->parentWidget(), frame.ToolGroups[4]);
    EXPECT_EQ(frame.IntProgSelCb->parentWidget(), frame.ToolGroups[4]);
}

// The window's text is drawn in the face it names: an installed face, asked for
// alone, so that no stand-in is looked for or taken in its place.
TEST_F(MainFrame, ItsTextIsInTheInstalledFacesItNames) {
    TestFrame frame;
    const QStringList installed = QFontDatabase::families();
    const std::pair<const char*, QFont> fonts[] = {{"window", frame.font()},
                                                   {"listing", frame.AsmOut->font()},
                                                   {"control word", frame.CWLab->font()}};
    for (const auto& [what, font] : fonts) {
        SCOPED_TRACE(what);
        const QStringList names = font.families();
        if (std::none_of(names.begin(), names.end(), [&installed](const QString& name) {
                return installed.contains(name, Qt::CaseInsensitive);
            })) {
            GTEST_SKIP() << "none of the faces named is installed here";
        }
        ASSERT_EQ(names.size(), 1);
        EXPECT_TRUE(installed.contains(font.families().front(), Qt::CaseInsensitive));
        EXPECT_EQ(QFontInfo(font).family(), font.families().front());
    }
}

TEST_F(MainFrame, ListingIsAnEditableFixedPitchTextWithTabStopsEveryEightColumns) {
    if (RunningUnderWine()) GTEST_SKIP() << "Wine offers neither Courier New nor Liberation Mono";
    TestFrame frame;
    Show(frame);
    QPlainTextEdit* asmOut = frame.AsmOut;
    EXPECT_FALSE(asmOut->isReadOnly());
    EXPECT_EQ(asmOut->font().pixelSize(), 13);
    EXPECT_TRUE(QFontInfo(asmOut->font()).fixedPitch());
    const qreal space = QFontMetricsF(asmOut->font()).horizontalAdvance(QLatin1Char(' '));
    EXPECT_DOUBLE_EQ(asmOut->tabStopDistance(), 8 * space);
    EXPECT_EQ(asmOut->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(asmOut->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(asmOut->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(QFontInfo(frame.CWLab->font()).fixedPitch());

    // The Tab key types a tab and keeps the focus in the listing.
    asmOut->setFocus();
    QTest::keyClick(asmOut, Qt::Key_Tab);
    QTest::keyClicks(asmOut, "RZP");
    EXPECT_EQ(asmOut->toPlainText(), "\tRZP");
    EXPECT_EQ(frame.focusWidget(), asmOut);
}

struct ErrorCase {
    const char* Thrown;
    const char* Shown;
};

// An error escaping a handler is shown with the error icon and the program goes on;
// a full stop is added after a last character above "." only.
TEST_F(MainFrame, ErrorEscapingAHandlerIsShownWithAFullStopRule) {
    const ErrorCase cases[] = {
        {"Cannot create file /tmp/out/prog.asm", "Cannot create file /tmp/out/prog.asm."},
        {"Already ends in a full stop.", "Already ends in a full stop."},
        {"Bad line 7", "Bad line 7."},
        {"Ends in zero 0", "Ends in zero 0."},
        {"Stop!", "Stop!"},
        {"(in brackets)", "(in brackets)"},
        {"Can't write file \"/tmp/x.obj\"", "Can't write file \"/tmp/x.obj\""},
        {"slash/", "slash/."},  // "/" is 47, just above "."
        {"dash-", "dash-"},
        {"", ""},
        {"Caf\xc3\xa9", "Caf\xc3\xa9."},
    };
    TestFrame frame;
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.Thrown);
        frame.Messages.clear();
        frame.RunHandler([&] { throw std::runtime_error(c.Thrown); });
        ASSERT_EQ(frame.Messages.size(), 1u);
        EXPECT_EQ(frame.Messages[0].Text, QString::fromUtf8(c.Shown));
        EXPECT_EQ(frame.Messages[0].Detail, "");
        EXPECT_EQ(frame.Messages[0].Flags, TMainFrame::MbIconError);
    }
    // The program carries on: the next handler runs as usual.
    bool ran = false;
    frame.Messages.clear();
    frame.RunHandler([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(frame.Messages.empty());
}

// What a message box showed: its caption, icon, buttons, and the texts of its labels
// with whether each is shown as it is.
struct SeenBox {
    QString Title;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons Buttons;
    QStringList Texts;
    QStringList FixedPitchTexts;
    bool AllPlain = true;
};

// Looks at the next message box as soon as it shows, then closes it.
void LookAtNextBox(SeenBox& seen) {
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.Title = box->windowTitle();
        seen.Icon = box->icon();
        seen.Buttons = box->standardButtons();
        for (const QLabel* label : box->findChildren<QLabel*>()) {
            if (label->text().isEmpty()) continue;
            seen.Texts << label->text();
            seen.AllPlain = seen.AllPlain && label->textFormat() == Qt::PlainText;
            if (QFontInfo(label->font()).fixedPitch()) seen.FixedPitchTexts << label->text();
        }
        box->accept();
    });
}

// The real message boxes behind the seam. The error display: the window's caption,
// the error icon, OK; every text, markup characters and all, shown as it is.
TEST_F(MainFrame, MessageBoxesShowTheirTextsAsTheyAre) {
    TMainFrame frame;
    Show(frame);
    SeenBox seen;
    LookAtNextBox(seen);
    frame.RunHandler([] { throw std::runtime_error("Cannot create file /no/<b>p</b>.asm"); });
    EXPECT_EQ(seen.Title, "Ixo Loader");
    EXPECT_EQ(seen.Icon, QMessageBox::Critical);
    EXPECT_EQ(seen.Buttons, QMessageBox::Ok);
    EXPECT_EQ(seen.Texts, QStringList{"Cannot create file /no/<b>p</b>.asm."});
    EXPECT_TRUE(seen.AllPlain);

    seen = SeenBox();
    LookAtNextBox(seen);
    frame.Dialogs().ShowMessage("Verify <i>OK</i>", "at <u>12</u> &amp;", TMainFrame::MbNoIcon);
    EXPECT_EQ(seen.Icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.Texts, (QStringList{"Verify <i>OK</i>", "at <u>12</u> &amp;"}));
    EXPECT_TRUE(seen.AllPlain);
    // The detail, words and listing lines, in the listing's font, so that its columns
    // stay in line (Wine has no fixed-pitch face to give it).
    if (!RunningUnderWine()) {
        EXPECT_EQ(seen.FixedPitchTexts, QStringList{"at <u>12</u> &amp;"});
    }
}

// The window carries the picture its desktop entry names, once the message loop has
// run.
TEST_F(MainFrame, WindowHasTheDesktopEntrysIcon) {
    TMainFrame frame;
    QCoreApplication::processEvents();
    const QIcon entryIcon(QStringLiteral(IXO_ENTRY_ICON));
    ASSERT_FALSE(entryIcon.pixmap(32).isNull()) << "cannot draw " IXO_ENTRY_ICON;
    EXPECT_EQ(frame.windowIcon().pixmap(32).toImage(), entryIcon.pixmap(32).toImage());
}

TEST_F(MainFrame, TopBarHoldsFiveRaisedGroupsWithButtonsAtFourPixelMargins) {
    if (RunningUnderWine()) GTEST_SKIP() << "Wine's MS Sans Serif is wider than Windows' own";
    TestFrame frame;
    Show(frame);
    EXPECT_EQ(frame.frameGeometry().size(), QSize(521, 688));
    EXPECT_EQ(frame.TopBar->geometry(), QRect(0, 0, frame.width(), 33));

    int widths[] = {33, 83, 33, 108, 146};
    int left = 0;
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const QRect group = frame.ToolGroups[i]->geometry();
        EXPECT_EQ(group.topLeft(), QPoint(left, 0));
        EXPECT_EQ(group.height(), 33);
        // The last group may widen for its selector, the others keep their width.
        if (i < 4) {
            EXPECT_EQ(group.width(), widths[i]);
        } else {
            EXPECT_GE(group.width(), widths[i]);
        }
        widths[i] = group.width();
        EXPECT_EQ(frame.ToolGroups[i]->frameShadow(), QFrame::Raised);
        left += widths[i];
    }
    struct Place {
        QToolButton* Button;
        int Group;
        int Slot;
    };
    const Place places[] = {
        {frame.SetSerialPortBtn, 0, 0}, {frame.OpenFileBtn, 1, 0}, {frame.SaveObjFileBtn, 1, 1},
        {frame.SaveAsmFileBtn, 1, 2},   {frame.ProgDisBtn, 2, 0},  {frame.ProgEnBtn, 3, 0},
        {frame.WriteProgtBtn, 3, 1},    {frame.ReadProgBtn, 3, 2}, {frame.VerifyProgBtn, 3, 3},
    };
    for (const Place& p : places) {
        SCOPED_TRACE(p.Button->objectName().toStdString());
        EXPECT_EQ(p.Button->parentWidget(), frame.ToolGroups[p.Group]);
        EXPECT_EQ(p.Button->geometry(), QRect(4 + 25 * p.Slot, 4, 25, 25));
    }
    // Everything in group 5 lies inside it.
    for (QWidget* w : std::vector<QWidget*>{frame.Label1, frame.IntProgSelCb}) {
        EXPECT_TRUE(QRect(QPoint(0, 0), frame.ToolGroups[4]->size()).contains(w->geometry()))
            << w->objectName().toStdString();
    }
    EXPECT_GE(frame.Label1->width(), frame.Label1->sizeHint().width()) << "Ext/Int is cut";
    EXPECT_LT(frame.Label1->geometry().right(), frame.IntProgSelCb->x());
    // CWLab sits on the bar itself, right of the groups.
    EXPECT_EQ(frame.CWLab->parentWidget(), frame.TopBar);
    EXPECT_GE(frame.CWLab->x(), left);
}

// True when label shows text whole in the face it is drawn in.
bool ShowsWhole(const QLabel* label, const QString& text) {
    const int room = label->contentsRect().width() - std::max(label->indent(), 0);
    return QFontMetrics(label->font()).horizontalAdvance(text) <= room;
}

// Every CW word, every program name in the closed selector and the port dialog's
// captions show whole in the faces the windows are drawn in.
TEST_F(MainFrame, WordsShowWholeInTheRealFaces) {
    TestFrame frame;
    Show(frame);
    for (QChar digit : QStringLiteral("0123456789ABCDEF")) {
        const QString word = "CW=" + QString(8, digit);
        EXPECT_TRUE(ShowsWhole(frame.StatusBar->Panel(0), word)) << word.toStdString();
    }
    EXPECT_TRUE(ShowsWhole(frame.StatusBar->Panel(0), "CW=ABCDEF01"));

    QComboBox* selector = frame.IntProgSelCb;
    QStyleOptionComboBox option;
    option.initFrom(selector);
    const QRect field = selector->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                          QStyle::SC_ComboBoxEditField, selector);
    for (int i = 0; i < selector->count(); ++i) {
        const QString name = selector->itemText(i);
        EXPECT_LE(QFontMetrics(selector->font()).horizontalAdvance(name), field.width())
            << name.toStdString();
    }

    // The port dialog is drawn in the window's face; its group's frame runs above
    // the label and the list, not through them: the band they sit in is clear of it
    // left of the label.
    TSerialPortDlg& dialog = *SerialPortDlg;
    EXPECT_EQ(QFontInfo(dialog.font()).family(), QFontInfo(frame.font()).family());
    EXPECT_EQ(QFontInfo(dialog.font()).pixelSize(), QFontInfo(frame.font()).pixelSize());
    EXPECT_TRUE(ShowsWhole(dialog.Label1, dialog.Label1->text()));
    const QImage group = dialog.GroupBox1->grab().toImage();
    const QColor face = dialog.palette().color(QPalette::Window);
    for (int y = dialog.PCPortSel->y(); y <= dialog.PCPortSel->geometry().bottom(); ++y) {
        EXPECT_EQ(group.pixelColor(4, y), face) << "row " << y;
        EXPECT_NE(group.pixelColor(0, y), face) << "row " << y;  // the frame's left edge
    }
}

TEST_F(MainFrame, BarsKeepTheirHeightAndTheListingTakesTheRest) {
    TestFrame frame;
    Show(frame);
    auto check = [&] {
        const int h = frame.height();
        EXPECT_EQ(frame.TopBar->height(), 33);
        EXPECT_EQ(frame.ComStatusBar->geometry().bottom(), h - 1);  // at the bottom edge
        EXPECT_EQ(frame.StatusBar->geometry().bottom() + 1, frame.ComStatusBar->y());
        EXPECT_EQ(frame.AsmOut->geometry(), QRect(0, 33, frame.width(), frame.StatusBar->y() - 33));
        EXPECT_EQ(frame.StatusBar->width(), frame.width());
        EXPECT_EQ(frame.ComStatusBar->width(), frame.width());
    };
    check();
    const int statusHeight = frame.StatusBar->height();
    const int listingHeight = frame.AsmOut->height();
    const int windowHeight = frame.height();
    frame.resize(800, windowHeight + 200);
    QApplication::processEvents();
    check();
    EXPECT_EQ(frame.StatusBar->height(), statusHeight);
    EXPECT_EQ(frame.AsmOut->height(), listingHeight + 200);
}

TEST_F(MainFrame, StatusBarsHaveTheirPanelsAndWidths) {
    TestFrame frame;
    Show(frame);
    ASSERT_EQ(frame.StatusBar->PanelCount(), 2);
    ASSERT_EQ(frame.ComStatusBar->PanelCount(), 2);
    EXPECT_GE(frame.StatusBar->Panel(0)->width(), 80);
    EXPECT_EQ(frame.ComStatusBar->Panel(0)->width(), 50);
    // The last panel of a bar reaches to its right end.
    for (PanelStatusBar* bar : {frame.StatusBar, frame.ComStatusBar}) {
        EXPECT_GE(bar->Panel(1)->width(), 50);
        EXPECT_GT(bar->Panel(1)->x(), bar->Panel(0)->geometry().right());
        EXPECT_EQ(bar->Panel(1)->geometry().right(), bar->width() - 1);
    }
    EXPECT_EQ(frame.ComStatusBar->Panel(0)->alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
    EXPECT_EQ(frame.StatusBar->Panel(1)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    // A long text stays inside its panel instead of widening the window.
    const int width = frame.width();
    frame.ComStatusBar->SetPanelText(1, QString(400, QLatin1Char('x')));
    QApplication::processEvents();
    EXPECT_EQ(frame.width(), width);
}

TEST_F(MainFrame, IsCentredOnTheScreenWhenFirstShown) {
    TestFrame frame;
    Show(frame);
    const QRect available = frame.screen()->availableGeometry();
    const QRect outer = frame.frameGeometry();
    EXPECT_LE(std::abs(outer.center().x() - available.center().x()), 1);
    if (available.height() >= outer.height()) {
        EXPECT_LE(std::abs(outer.center().y() - available.center().y()), 1);
    } else {
        EXPECT_EQ(outer.top(), available.top());  // the caption stays on the screen
    }
}

}  // namespace
}  // namespace ixo::test
