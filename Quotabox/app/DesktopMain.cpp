#include "app/QuotaboxApp.h"

int main(int argc, char** argv) { return QuotaboxApp::run(argc, argv); }
