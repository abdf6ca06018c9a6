#include "ui/qt/launcher_app.hpp"

int main(int argc, char** argv) { return zelvo::launcher::run_launcher(argc, argv); }
