#pragma once

#include <QLocale>
#include <QString>

#include <functional>
#include <thread>
#include <vector>

// Every thread the name list starts (key builders, the start-up reader) comes from here. Like
// std::thread it throws std::system_error where the system has no thread to give (a limit on
// processes or memory), and the caller then does the work on its own thread; a test puts a
// starter here that always throws.
using ThreadStarter = std::thread (*)(std::function<void()> work);
extern ThreadStarter startThread;

// The order in which count names are shown: their indices, sorted as the user's language
// sorts, without regard to case (ana, Bruno, Zeca). Names that sort equal keep their file
// order; as the list's rows, there are at most INT_MAX of them. nameAt(i, out) puts name i into out, whose
// buffer it may reuse; a large list calls it from several threads at once, each with its own out.
std::vector<int> collationOrder(qsizetype count, const std::function<void(qsizetype, QString&)>& nameAt,
    const QLocale& locale = QLocale());

// The same order for count names whose first order.size() are in it already (as collationOrder()
// put them): each name after those is put in its place, which for a few costs far less than a
// sort of them all.
std::vector<int> extendOrder(std::vector<int> order, qsizetype count,
    const std::function<void(qsizetype, QString&)>& nameAt, const QLocale& locale = QLocale());

// The same for names [first, last), which may stand anywhere in the file: order holds every other
// name, by its index as it is now. Among names that sort equal each goes by its file order.
std::vector<int> placeNames(std::vector<int> order, qsizetype first, qsizetype last,
    const std::function<void(qsizetype, QString&)>& nameAt, const QLocale& locale = QLocale());
