#include "app/tolvaneapp.h"

int main(int argc, char** argv)
{
    CTolvaneApp app(argc, argv);
    return app.InitInstance();
}
