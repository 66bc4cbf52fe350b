#pragma once
#include <QMainWindow>
class tuv : public QMainWindow { Q_OBJECT public: tuv(); };
