// Entry point of every engine test program: a QCoreApplication so that queued calls, timers
// and the owner-thread hand-back of the worker pool work as in the program.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
