#include <QCoreApplication>
#include <QtTest>

int runFramesTest(int argc, char **argv);
int runRsTest(int argc, char **argv);
int runReceptionTest(int argc, char **argv);
int runStatusTest(int argc, char **argv);
int runCorrectionTest(int argc, char **argv);

// One executable for the link area; every test class runs, failures add up.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int failures = 0;
    failures += runFramesTest(argc, argv);
    failures += runRsTest(argc, argv);
    failures += runReceptionTest(argc, argv);
    failures += runStatusTest(argc, argv);
    failures += runCorrectionTest(argc, argv);
    return failures;
}
