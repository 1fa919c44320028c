#include "syncplan.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using SyncCard::Fields;

namespace {

// "nome|fone|mail|endereco|complemento", trailing fields may be left out.
Fields fields(const QString& text)
{
    const QStringList p = text.split(u'|');
    return { p.value(0), p.value(1), p.value(2), p.value(3), p.value(4) };
}

QString text(const Fields& f)
{
    QString t = QStringList { f.nome, f.fone, f.mail, f.endereco, f.complemento }.join(u'|');
    while (t.endsWith(u'|'))
        t.chop(1);
    return t;
}

// "key=fields;key=fields": the cards, keyed as /ab/key.vcf.
QList<QPair<QString, Fields>> cards(const QString& list)
{
    QList<QPair<QString, Fields>> out;
    for (const QString& entry : list.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = entry.indexOf(u'=');
        out.append({ u"/ab/"_s + entry.first(eq) + u".vcf"_s, fields(entry.sliced(eq + 1)) });
    }
    return out;
}

} // namespace

class TestSyncPlan : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void plan_data();
    void plan();
    void applyChanges_data();
    void applyChanges();
};

void TestSyncPlan::plan_data()
{
    // The state of the last sync: "!" before a key, its create not confirmed; "?", the same with
    // the etag its PUT was answered with; ">name", the record's name where it is not the card's.
    QTest::addColumn<QString>("synced");
    QTest::addColumn<QString>("local"); // the records now, "fields;fields"
    QTest::addColumn<QString>("server"); // the cards now; one equal to the state's keeps its etag
    QTest::addColumn<QString>("localAfter"); // the records once the plan is carried out, in order
    QTest::addColumn<QString>("serverAfter"); // the cards then, sorted; "new" for a key made here
    QTest::addColumn<QString>("counts"); // merged, conflicts, skipped, and "stop" where it stops

    QTest::newRow("nothing changed") << "a=Ana|1"
                                     << "Ana|1"
                                     << "a=Ana|1"
                                     << "Ana|1"
                                     << "a=Ana|1"
                                     << "0 0 0";
    QTest::newRow("local edit sent") << "a=Ana|1"
                                     << "Ana|2"
                                     << "a=Ana|1"
                                     << "Ana|2"
                                     << "a=Ana|2"
                                     << "0 0 0";
    QTest::newRow("server edit received") << "a=Ana|1"
                                          << "Ana|1"
                                          << "a=Ana|3"
                                          << "Ana|3"
                                          << "a=Ana|3"
                                          << "0 0 0";
    QTest::newRow("server rename received") << "a=Ana|1;b=Bia|2"
                                            << "Ana|1;Bia|2"
                                            << "a=Ana Maria|1;b=Bia|2"
                                            << "Ana Maria|1;Bia|2"
                                            << "a=Ana Maria|1;b=Bia|2"
                                            << "0 0 0";
    QTest::newRow("different fields merged") << "a=Ana|1|a@x"
                                             << "Ana|2|a@x"
                                             << "a=Ana|1|b@x"
                                             << "Ana|2|b@x"
                                             << "a=Ana|2|b@x"
                                             << "1 0 0";
    QTest::newRow("same change both sides") << "a=Ana|1"
                                            << "Ana|2"
                                            << "a=Ana|2"
                                            << "Ana|2"
                                            << "a=Ana|2"
                                            << "0 0 0";
    QTest::newRow("same field, both kept") << "a=Ana|1|a@x"
                                           << "Ana|2|b@x"
                                           << "a=Ana|3|a@x"
                                           << "Ana|3|b@x;Ana (conflito 07/12/2026)|2|b@x"
                                           << "a=Ana|3|b@x;new=Ana (conflito 07/12/2026)|2|b@x"
                                           << "0 1 0";
    QTest::newRow("local delete sent") << "a=Ana|1;b=Bia|2"
                                       << "Bia|2"
                                       << "a=Ana|1;b=Bia|2"
                                       << "Bia|2"
                                       << "b=Bia|2"
                                       << "0 0 0";
    QTest::newRow("server delete received") << "a=Ana|1;b=Bia|2"
                                            << "Ana|1;Bia|2"
                                            << "b=Bia|2"
                                            << "Bia|2"
                                            << "b=Bia|2"
                                            << "0 0 0";
    QTest::newRow("local edit beats server delete") << "a=Ana|1;b=Bia|2"
                                                    << "Ana|5;Bia|2"
                                                    << "b=Bia|2"
                                                    << "Ana|5;Bia|2"
                                                    << "a=Ana|5;b=Bia|2"
                                                    << "0 0 0";
    QTest::newRow("server edit beats local delete") << "a=Ana|1;b=Bia|2"
                                                    << "Bia|2"
                                                    << "a=Ana|5;b=Bia|2"
                                                    << "Bia|2;Ana|5"
                                                    << "a=Ana|5;b=Bia|2"
                                                    << "0 0 0";
    QTest::newRow("deleted on both sides") << "a=Ana|1;b=Bia|2"
                                           << "Bia|2"
                                           << "b=Bia|2"
                                           << "Bia|2"
                                           << "b=Bia|2"
                                           << "0 0 0";
    QTest::newRow("local rename keeps its card") << "a=Ana|1;b=Bia|2"
                                                 << "Bia|2;Ana Paula|1"
                                                 << "a=Ana|1;b=Bia|2"
                                                 << "Bia|2;Ana Paula|1"
                                                 << "a=Ana Paula|1;b=Bia|2"
                                                 << "0 0 0";
    QTest::newRow("rename without one match is delete and add") << "a=Ana|1;b=Bia|1"
                                                                << "Ana Paula|1"
                                                                << "a=Ana|1;b=Bia|1"
                                                                << "Ana Paula|1"
                                                                << "new=Ana Paula|1"
                                                                << "0 0 0";
    QTest::newRow("new local contact sent") << ""
                                            << "Ana|1"
                                            << ""
                                            << "Ana|1"
                                            << "new=Ana|1"
                                            << "0 0 0";
    QTest::newRow("new server card received") << ""
                                              << ""
                                              << "a=Ana|1"
                                              << "Ana|1"
                                              << "a=Ana|1"
                                              << "0 0 0";
    QTest::newRow("first sync, same contact both sides") << ""
                                                         << "Ana|1;Bia|2"
                                                         << "a=ANA|1|a@x"
                                                         << "ANA|1|a@x;Bia|2"
                                                         << "a=ANA|1|a@x;new=Bia|2"
                                                         << "1 0 0";
    QTest::newRow("server name taken locally: suffix kept local") << "a=Ana|1"
                                                                  << "Ana|1"
                                                                  << "a=Ana|1;b=Ana|9"
                                                                  << "Ana|1;Ana (2)|9"
                                                                  << "a=Ana|1;b=Ana|9"
                                                                  << "0 0 0";
    QTest::newRow("suffixed contact edited: name not pushed") << "a=Ana|1;b=Ana|9>Ana (2)"
                                                              << "Ana|1;Ana (2)|8"
                                                              << "a=Ana|1;b=Ana|9"
                                                              << "Ana|1;Ana (2)|8"
                                                              << "a=Ana|1;b=Ana|8"
                                                              << "0 0 0";
    QTest::newRow("unconfirmed create not listed: sent again") << "!a=Ana|1"
                                                               << "Ana|1"
                                                               << ""
                                                               << "Ana|1"
                                                               << "a=Ana|1"
                                                               << "0 0 0";
    QTest::newRow("unconfirmed create listed: no duplicate") << "!a=Ana|1"
                                                             << "Ana|1"
                                                             << "a=Ana|1"
                                                             << "Ana|1"
                                                             << "a=Ana|1"
                                                             << "0 0 0";
    QTest::newRow("create listed with its PUT's etag: not fetched") << "?a=Ana|1;b=Bia|2"
                                                                    << "Ana|3;Bia|2"
                                                                    << "a=Ana|1;b=Bia|2"
                                                                    << "Ana|3;Bia|2"
                                                                    << "a=Ana|3;b=Bia|2"
                                                                    << "0 0 0";
    QTest::newRow("unreadable card skipped") << ""
                                             << "Ana|1"
                                             << "a=|"
                                             << "Ana|1"
                                             << "a=;new=Ana|1"
                                             << "0 0 1";
    QTest::newRow("empty listing from a server that had cards") << "a=Ana|1;b=Bia|2"
                                                                << "Ana|1;Bia|2"
                                                                << ""
                                                                << "Ana|1;Bia|2"
                                                                << ""
                                                                << "stop";
    QTest::newRow("another contacts file") << "a=Ana|1;b=Bia|2;c=Caio|3"
                                           << "Davi|4"
                                           << "a=Ana|1;b=Bia|2;c=Caio|3"
                                           << "Davi|4"
                                           << "a=Ana|1;b=Bia|2;c=Caio|3"
                                           << "stop";
    QTest::newRow("more than five deletes") << "a=A|1;b=B|2;c=C|3;d=D|4;e=E|5;f=F|6;g=G|7"
                                            << "G|7"
                                            << "a=A|1;b=B|2;c=C|3;d=D|4;e=E|5;f=F|6;g=G|7"
                                            << "G|7"
                                            << "a=A|1;b=B|2;c=C|3;d=D|4;e=E|5;f=F|6;g=G|7"
                                            << "stop";
    QTest::newRow("five deletes go through") << "a=A|1;b=B|2;c=C|3;d=D|4;e=E|5;f=F|6;g=G|7"
                                             << "F|6;G|7"
                                             << "a=A|1;b=B|2;c=C|3;d=D|4;e=E|5;f=F|6;g=G|7"
                                             << "F|6;G|7"
                                             << "f=F|6;g=G|7"
                                             << "0 0 0";
}

void TestSyncPlan::plan()
{
    QFETCH(QString, synced);
    QFETCH(QString, local);
    QFETCH(QString, server);
    QFETCH(QString, localAfter);
    QFETCH(QString, serverAfter);
    QFETCH(QString, counts);

    SyncState state;
    for (QString entry : synced.split(u';', Qt::SkipEmptyParts)) {
        const bool pending = entry.startsWith(u'!') || entry.startsWith(u'?');
        const bool answered = !entry.startsWith(u'!');
        if (pending)
            entry.remove(0, 1);
        const QString localName = entry.section(u'>', 1);
        const auto [href, f] = cards(entry.section(u'>', 0, 0)).first();
        state.items.insert(href,
            { href, answered ? u"e1"_s : QString(), SyncCard::create(f, href), f,
                localName.isEmpty() ? f.nome : localName, pending });
    }
    SyncPlan::Input in;
    in.state = &state;
    for (const QString& r : local.split(u';', Qt::SkipEmptyParts))
        in.localLines.append(SyncCard::toRecordLine(fields(r), u"01/01/2020"_s));
    QHash<QString, QByteArray> onServer;
    for (const auto& [href, f] : cards(server)) {
        const bool same = state.items.contains(href) && !state.items[href].etag.isEmpty()
            && state.items[href].fields == f;
        in.serverEtags.insert(href, same ? u"e1"_s : u"e2"_s);
        in.serverHrefs.insert(href, href);
        onServer.insert(
            href, f.nome.isEmpty() ? QByteArray("BEGIN:VCARD\r\nEND:VCARD\r\n") : SyncCard::create(f, href));
        if (!same)
            in.fetched.insert(href, onServer[href]);
    }
    in.fullListing = true;
    in.collectionPath = u"/ab/"_s;
    in.today = QDate(2026, 12, 7);
    int uids = 0;
    in.newUid = [&] { return u"new"_s + QString::number(++uids); };

    const SyncPlan::Plan plan = SyncPlan::plan(in);
    if (counts == u"stop"_s) {
        QVERIFY(!plan.stop.isEmpty());
        return;
    }
    QVERIFY2(plan.stop.isEmpty(), qPrintable(plan.stop));
    QCOMPARE(u"%1 %2 %3"_s.arg(plan.merged).arg(plan.conflicts).arg(plan.skipped), counts);

    // Carried out as the sync does: the records first, then the requests.
    QStringList lines = in.localLines;
    for (const SyncPlan::LocalAction& a : plan.local) {
        if (a.change.oldLine.isEmpty()) {
            lines.append(a.change.newLine);
            continue;
        }
        const qsizetype at = lines.indexOf(a.change.oldLine);
        QVERIFY(at >= 0);
        if (a.change.newLine.isEmpty())
            lines.removeAt(at);
        else
            lines[at] = a.change.newLine;
    }
    for (const SyncPlan::ServerAction& a : plan.server) {
        if (a.kind == SyncPlan::ServerAction::Create)
            QVERIFY2(!onServer.contains(a.key), "a create never overwrites a card");
        else
            QCOMPARE(a.etag, in.serverEtags.value(a.key)); // If-Match: the card as it was listed
        if (a.kind == SyncPlan::ServerAction::Delete)
            onServer.remove(a.key);
        else
            onServer.insert(a.key, a.card);
        // The state once it succeeded holds what was sent.
        QCOMPARE(plan.items.contains(a.key), a.kind != SyncPlan::ServerAction::Delete);
    }
    QStringList records;
    for (const QString& line : lines)
        records.append(text(SyncCard::fromRecord(ContactRecord::fromLine(line))));
    QCOMPARE(records.join(u';'), localAfter);
    QStringList remote;
    for (auto it = onServer.cbegin(); it != onServer.cend(); ++it) {
        const QString key = it.key().startsWith(u"/ab/new"_s) ? u"new"_s : it.key().sliced(4).chopped(4);
        remote.append(key + u'=' + text(SyncCard::read(it.value()).value_or(Fields())));
    }
    remote.sort();
    QCOMPARE(remote.join(u';'), serverAfter);
}

void TestSyncPlan::applyChanges_data()
{
    // Records as "nome|fone"; a change "old>new", either side empty to add or remove.
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("changes");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("applied");

    QTest::newRow("as read: made") << "Ana|1;Bia|2"
                                   << "Ana|1>Ana|3;Bia|2>;>Caio|4"
                                   << "Ana|3;Caio|4"
                                   << "111";
    QTest::newRow("changed since read: left") << "Ana|9;Bia|8"
                                              << "Ana|1>Ana|3;Bia|2>"
                                              << "Ana|9;Bia|8"
                                              << "00";
    QTest::newRow("new name taken, any case") << "Ana|1;Bia|2"
                                              << ">ANA|5;Bia|2>Ana|2"
                                              << "Ana|1;Bia|2"
                                              << "00";
    QTest::newRow("name held twice: neither") << "Ana|1;Ana|2"
                                              << "Ana|1>Ana|3"
                                              << "Ana|1;Ana|2"
                                              << "0";
    QTest::newRow("name freed by a rename") << "Ana|1;Bia|2"
                                            << "Ana|1>Ana Maria|1;>Ana|7"
                                            << "Ana Maria|1;Bia|2;Ana|7"
                                            << "11";
}

void TestSyncPlan::applyChanges()
{
    QFETCH(QString, before);
    QFETCH(QString, changes);
    QFETCH(QString, after);
    QFETCH(QString, applied);
    const auto line = [](const QString& r) {
        return r.isEmpty() ? QString() : SyncCard::toRecordLine(fields(r), u"01/01/2020"_s);
    };
    QTemporaryDir dir;
    const ContactStore store(dir.path());
    for (const QString& r : before.split(u';'))
        QCOMPARE(store.append(line(r)), StoreStatus::Ok);
    QList<RecordChange> list;
    for (const QString& c : changes.split(u';'))
        list.append({ line(c.section(u'>', 0, 0)), line(c.section(u'>', 1)) });
    QList<bool> done;
    QCOMPARE(store.applyChanges(list, &done), StoreStatus::Ok);
    QString flags;
    for (const bool d : done)
        flags.append(d ? u'1' : u'0');
    QCOMPARE(flags, applied);
    QStringList lines;
    QCOMPARE(store.readRecordLines(&lines), StoreStatus::Ok);
    QStringList records;
    for (const QString& l : lines)
        records.append(text(SyncCard::fromRecord(ContactRecord::fromLine(l))));
    QCOMPARE(records.join(u';'), after);
}

QTEST_GUILESS_MAIN(TestSyncPlan)
#include "tst_syncplan.moc"
