#include "app/OrvikApplication.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    return OrvikRunApplication(application);
}
