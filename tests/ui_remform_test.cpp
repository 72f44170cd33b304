#include <QAbstractItemView>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>

#include "UiTestSupport.h"
#include "army/Catalogue.h"

using namespace ui_test;

namespace {

// Runs action on the remove dialog once it is shown; open() shows it and
// returns when it has closed. A dialog left open by a failed check is cancelled.
template <typename Open>
bool onRemoveDialog(Open open, std::function<void(TRemform1*)> action) {
    bool ran = false;
    whenModal(QStringLiteral("Remform1"), [&](QWidget* w) {
        ran = true;
        action(static_cast<TRemform1*>(w));
        if (w->isVisible())
            static_cast<QDialog*>(w)->reject();
    });
    open();
    return ran;
}

// Right-clicks a player's army display and picks an item of its pop-up menu.
void fromPopup(int player, QAction* item) {
    QPlainTextEdit* display = player == 1 ? Mainform->Armydisplay1 : Mainform->Armydisplay2;
    QMenu* menu = player == 1 ? Mainform->Unitmenu1 : Mainform->Unitmenu2;
    const QPoint pos(20, 20);
    QContextMenuEvent click(QContextMenuEvent::Mouse, pos, display->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(display->viewport(), &click);
    QTRY_VERIFY(menu->isVisible());
    menu->setActiveAction(item);
    QTest::keyClick(menu, Qt::Key_Return);
}

auto popupRemove(int player) {
    return [player] { fromPopup(player, player == 1 ? Mainform->RemoveUnits1 : Mainform->RemoveUnits3); };
}
auto menuRemove() {
    return [] { Mainform->RemoveUnits2->trigger(); };
}

// Opens the list and picks entry i with the keyboard.
void chooseEntry(QComboBox* list, int i) {
    list->showPopup();
    QAbstractItemView* view = list->view();
    view->setCurrentIndex(list->model()->index(i, 0));
    QTest::keyClick(view, Qt::Key_Return);
}

QStringList entries(QComboBox* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    while (!texts.isEmpty() && texts.last().isEmpty())
        texts.removeLast();
    return texts;
}

QStringList shownKind(TRemform1* d) {
    QStringList values;
    for (QLineEdit* f :
         {d->Fullname, d->Type, d->Position, d->Number, d->Offense, d->Defense, d->Rangedoff, d->Attacks, d->Hitpoints})
        values << f->text();
    return values;
}

const QStringList noKind(9, QString());

}  // namespace

class RemoveDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { startProgram(); }
    void init() { clearArmies(); }

    void layoutBeforeFirstOpening() {
        TRemform1* d = Remform1;
        QCOMPARE(d->windowTitle(), QStringLiteral("Unit Removal Form"));
        QCOMPARE(d->size(), QSize(404, 419));
        QCOMPARE(d->Id->text(), QStringLiteral("Number"));
        QCOMPARE(d->Remmes1->text(), QStringLiteral("Errors and Messages appear here"));
        QCOMPARE(d->Abblist->placeholderText(), QStringLiteral("Abbreviation"));
        QVERIFY(!d->Abblist->isEditable());
        QCOMPARE(d->Remove->text(), QStringLiteral("Remove"));
        QVERIFY(d->Remove->isDefault());
        QVERIFY(d->Remove->isHidden());
        const QList<std::pair<const char*, const char*>> labels{{"title1", "Unit Removal Form"},
                                                                {"ids", "Wizard Number:"},
                                                                {"abbs", "Unit Abbreviation:"},
                                                                {"types", "Unit Type:"},
                                                                {"poss", "Battle Position:"},
                                                                {"names", "Full Unit Name:"},
                                                                {"nums", "Number:"},
                                                                {"offs", "OFF:"},
                                                                {"defs", "DEF:"},
                                                                {"rofs", "ROF:"},
                                                                {"atts", "ATT:"},
                                                                {"hits", "HIT:"}};
        for (const auto& [name, text] : labels)
            QCOMPARE(control<QLabel>(d, name)->text(), QString::fromLatin1(text));
        for (QLineEdit* f : {d->Type, d->Position, d->Fullname, d->Number, d->Offense, d->Defense, d->Rangedoff,
                             d->Attacks, d->Hitpoints}) {
            QVERIFY2(f->isReadOnly() && f->focusPolicy() == Qt::NoFocus, qPrintable(f->objectName()));
            QVERIFY(f->text().isEmpty());
        }
        QVERIFY(d->Reminfo->toPlainText().endsWith(QStringLiteral("Press \"Remove\" to remove these units.")));
        // Every control lies inside the window, and no two overlap.
        const QList<QWidget*> widgets = d->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* a : widgets) {
            QVERIFY2(d->rect().contains(a->geometry()), qPrintable(a->objectName()));
            for (QWidget* b : widgets)
                if (a != b && a->objectName() != QLatin1String("Remove") && b->objectName() != QLatin1String("Remove"))
                    QVERIFY2(!a->geometry().intersects(b->geometry()),
                             qPrintable(a->objectName() + " overlaps " + b->objectName()));
        }
    }

    // From the main menu the number field comes first; from a pop-up menu it
    // sits behind the buttons, and tabbing through it keeps a legal number.
    void tabOrderFromMenuAndPopup() {
        addKind(1, "ARC", 20);
        QStringList chain;
        auto walk = [&chain](TRemform1*) {
            chain.clear();
            for (int i = 0; i < 4; ++i) {
                chain << QApplication::focusWidget()->objectName();
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
        };
        QVERIFY(onRemoveDialog(menuRemove(), walk));
        QCOMPARE(chain, QStringList({"Id", "Abblist", "BitBtn1", "Id"}));

        QString idAfterTab, message;
        QVERIFY(onRemoveDialog(popupRemove(1), [&](TRemform1* d) {
            walk(d);
            idAfterTab = d->Id->text();
            message = d->Remmes1->text();
        }));
        QCOMPARE(chain, QStringList({"Abblist", "BitBtn1", "Id", "Abblist"}));
        QCOMPARE(Remform1->tabOrder().size(), 28);
        QCOMPARE(Remform1->tabOrder().position(Remform1->Id), 20);
        QCOMPARE(idAfterTab, QStringLiteral("1"));
        QCOMPARE(message, QString());
    }

    void removeFirstOfThreeThenFightWithTheRest() {
        addKind(1, "ARC", 20);
        addKind(1, "KNI", 10);
        addKind(1, "BDR", 5);
        addKind(2, "KNI", 3);
        const QString knights = Mainform->display(1).line(2), dragons = Mainform->display(1).line(3);
        QStringList listed, shown;
        QString message;
        QVERIFY(onRemoveDialog(popupRemove(1), [&](TRemform1* d) {
            listed = entries(d->Abblist);
            chooseEntry(d->Abblist, 0);
            shown = shownKind(d);
            message = d->Remmes1->text();
            if (d->Remove->isVisible())
                QTest::mouseClick(d->Remove, Qt::LeftButton);
        }));
        QCOMPARE(listed, QStringList({"ARC", "KNI", "BDR"}));
        QCOMPARE(shown, QStringList({"Archers", "O", "R", "20", "1", "0", "2", "1", "1"}));
        QCOMPARE(message, QStringLiteral("Unit found - click 'Remove' to remove them"));
        QVERIFY(!Remform1->isVisible());

        const Army& army = armyOf(1);
        QCOMPARE(army.currentSize, 15);
        QCOMPARE(army.currentType, 1);
        QCOMPARE(army.unittypes[0].Fullname, std::string("Knights"));
        QCOMPARE(army.unittypes[1].Fullname, std::string("Bronze Dragons"));
        QVERIFY(army.unittypes[2].Fullname.empty());
        QCOMPARE(army.checkInvariants(), std::string());
        QCOMPARE(Mainform->display(1).line(1), knights);
        QCOMPARE(Mainform->display(1).line(2), dragons);
        QCOMPARE(Mainform->display(1).line(3), QString());
        QCOMPARE(armyOf(2).currentSize, 3);

        // The dialog closed with the number reset; reopened it lists the army without the kind.
        QCOMPARE(Remform1->Id->text(), QStringLiteral("Number"));
        QVERIFY(onRemoveDialog(popupRemove(1), [&](TRemform1* d) { listed = entries(d->Abblist); }));
        QCOMPARE(listed, QStringList({"KNI", "BDR"}));

        Mainform->calculateClick();
        MemoBoard& report = Battleform->column(0);
        QVERIFY(report.line(4).startsWith(QStringLiteral("Knights ")));
        QVERIFY(report.line(5).startsWith(QStringLiteral("Bronze Dragons ")));
        QVERIFY(!report.lines().join('\n').contains(QStringLiteral("Archers")));
        Battleform->close();
    }

    void removeLastAndOnlyKinds() {
        addKind(1, "ARC", 20);
        addKind(1, "KNI", 10);
        const QString archers = Mainform->display(1).line(1);
        QVERIFY(onRemoveDialog(popupRemove(1), [](TRemform1* d) {
            chooseEntry(d->Abblist, 1);
            QTest::mouseClick(d->Remove, Qt::LeftButton);
        }));
        QCOMPARE(armyOf(1).currentType, 0);
        QCOMPARE(armyOf(1).currentSize, 20);
        QCOMPARE(Mainform->display(1).line(1), archers);
        QCOMPARE(Mainform->display(1).line(2), QString());

        // The only kind: Enter presses the default button once a kind is shown.
        QVERIFY(onRemoveDialog(popupRemove(1), [](TRemform1* d) {
            chooseEntry(d->Abblist, 0);
            QTest::keyClick(d->Abblist, Qt::Key_Return);
        }));
        const Army& army = armyOf(1);
        QCOMPARE(army.currentType, 0);
        QCOMPARE(army.currentSize, 0);
        QVERIFY(army.unittypes[0].Fullname.empty());
        QCOMPARE(army.unittypes[0].Number, 0);
        QCOMPARE(army.checkInvariants(), std::string());
        QCOMPARE(Mainform->display(1).line(1), QString());
    }

    void playerTwoFromItsPopup() {
        addKind(1, "ARC", 20);
        addKind(2, "KNI", 10);
        addKind(2, "BDR", 5);
        const QString dragons = Mainform->display(2).line(2);
        QStringList listed, shown;
        QVERIFY(onRemoveDialog(popupRemove(2), [&](TRemform1* d) {
            listed = entries(d->Abblist);
            chooseEntry(d->Abblist, 0);
            shown = shownKind(d);
            QTest::mouseClick(d->Remove, Qt::LeftButton);
        }));
        QCOMPARE(listed, QStringList({"KNI", "BDR"}));
        QCOMPARE(shown.first(), QStringLiteral("Knights"));
        QCOMPARE(armyOf(2).currentSize, 5);
        QCOMPARE(Mainform->display(2).line(1), dragons);
        QCOMPARE(armyOf(1).currentSize, 20);
        QCOMPARE(armyOf(1).unittypes[0].Fullname, std::string("Archers"));
    }

    // The messages of the number field and the list, and what stays hidden.
    void numbersAndEntriesThatNameNothing() {
        addKind(1, "ARC", 20);
        addKind(1, "KNI", 10);
        struct Seen {
            QString message;
            QStringList listed;
            bool removeShown;
        };
        QList<Seen> seen;
        QString clickMessage, idAfterExit, messageAfterExit;
        bool stillOpenAfterEnter = false;
        QVERIFY(onRemoveDialog(menuRemove(), [&](TRemform1* d) {
            auto note = [&] { seen.append({d->Remmes1->text(), entries(d->Abblist), d->Remove->isVisible()}); };
            QTest::mouseClick(d->Id, Qt::LeftButton);
            clickMessage = d->Remmes1->text();
            typeInto(d->Id, QStringLiteral("01"));  // 0: numerically player 1, but no player by text
            note();
            chooseEntry(d->Abblist, 0);  // 1
            note();
            for (const char* text : {"x", "0", "-3", "5"}) {  // 2 to 5
                typeInto(d->Id, QString::fromLatin1(text));
                note();
            }
            typeInto(d->Id, QStringLiteral("1"));  // 6
            note();
            chooseEntry(d->Abblist, 3);  // 7: an empty entry below the kinds
            note();
            chooseEntry(d->Abblist, 1);  // 8
            note();
            typeInto(d->Id, QStringLiteral("2"));  // 9: another player hides the kind
            note();
            QTest::keyClick(d->Id, Qt::Key_Return);
            stillOpenAfterEnter = d->isVisible();
            typeInto(d->Id, QStringLiteral("9"));
            QTest::keyClick(d->Id, Qt::Key_Tab);
            idAfterExit = d->Id->text();
            messageAfterExit = d->Remmes1->text();
            QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
        }));
        QCOMPARE(clickMessage, QStringLiteral("Please enter the wizard number"));
        QCOMPARE(seen.size(), 10);
        const QString found = QStringLiteral("Wizard number found"),
                      notFound = QStringLiteral("Wizard number not found"),
                      illegal = QStringLiteral("No legal wizard number entered"),
                      unitNotFound = QStringLiteral("Unit not found");
        const QStringList both{"ARC", "KNI"};
        QCOMPARE(seen[0].message, found);
        QCOMPARE(seen[0].listed, QStringList());
        QCOMPARE(seen[1].message, unitNotFound);
        QVERIFY(!seen[1].removeShown);
        for (int i = 2; i <= 4; ++i) {
            QCOMPARE(seen[i].message, illegal);
            QCOMPARE(seen[i].listed, QStringList());
        }
        QCOMPARE(seen[5].message, notFound);
        QCOMPARE(seen[6].message, found);
        QCOMPARE(seen[6].listed, both);
        QCOMPARE(seen[7].message, unitNotFound);
        QVERIFY(!seen[7].removeShown);
        QCOMPARE(seen[8].message, QStringLiteral("Unit found - click 'Remove' to remove them"));
        QVERIFY(seen[8].removeShown);
        QCOMPARE(seen[9].message, found);
        QCOMPARE(seen[9].listed, QStringList());  // player 2 has no kinds
        QVERIFY(!seen[9].removeShown);
        QVERIFY(stillOpenAfterEnter);
        QCOMPARE(idAfterExit, QStringLiteral("Number"));
        QCOMPARE(messageAfterExit, QString());
        QCOMPARE(armyOf(1).currentSize, 30);  // Cancel removed nothing
        QCOMPARE(armyOf(1).currentType, 1);
    }

    // The display fields empty when the number changes after a kind was shown.
    void numberChangeClearsTheShownKind() {
        addKind(1, "KNI", 10);
        QStringList shown, after;
        QVERIFY(onRemoveDialog(popupRemove(1), [&](TRemform1* d) {
            chooseEntry(d->Abblist, 0);
            shown = shownKind(d);
            typeInto(d->Id, QStringLiteral("7"));
            after = shownKind(d);
        }));
        QCOMPARE(shown.first(), QStringLiteral("Knights"));
        QCOMPARE(after, noKind);
        QCOMPARE(armyOf(1).currentSize, 10);
    }

    void removeFromAFullArmyLeavesTheLastSlotDefault() {
        const auto& rows = Unitcatalogue::rows();
        for (int k = 0; k < Army::maxTypes; ++k)
            addKind(1, std::string(rows[k].Abbreviation).c_str(), 1);
        QCOMPARE(armyOf(1).currentType, Army::maxTypes - 1);
        const QString lastLine = Mainform->display(1).line(Army::maxTypes);
        QStringList listed;
        QVERIFY(onRemoveDialog(popupRemove(1), [&](TRemform1* d) {
            listed = entries(d->Abblist);
            chooseEntry(d->Abblist, 0);
            QTest::mouseClick(d->Remove, Qt::LeftButton);
        }));
        QCOMPARE(listed.size(), Army::maxTypes);
        const Army& army = armyOf(1);
        QCOMPARE(army.currentType, Army::maxTypes - 2);
        QCOMPARE(army.currentSize, Army::maxTypes - 1);
        const Unittype& last = army.unittypes[Army::maxTypes - 1];
        const Unittype fresh;
        QVERIFY(last.Fullname.empty() && last.Abbreviation.empty());
        QCOMPARE(last.Number, 0);
        QCOMPARE(last.Position, fresh.Position);
        QCOMPARE(last.Type, fresh.Type);
        QCOMPARE(last.Offense, 0.0);
        QCOMPARE(last.Attacks, 0);
        QCOMPARE(last.Hitpoints, 0);
        QCOMPARE(army.checkInvariants(), std::string());
        QCOMPARE(Mainform->display(1).line(Army::maxTypes - 1), lastLine);
        QCOMPARE(Mainform->display(1).line(Army::maxTypes), QString());

        // Typing another player's number blanks the whole list, not only its first 30 entries.
        QVERIFY(onRemoveDialog(popupRemove(1), [&](TRemform1* d) {
            typeInto(d->Id, QStringLiteral("0"));
            listed = entries(d->Abblist);
        }));
        QCOMPARE(listed, QStringList());
    }
};

QTEST_MAIN(RemoveDialogTest)
#include "ui_remform_test.moc"
