#include "app.h"

#include "Korvex.h"

COrrelinApp theApp;

bool COrrelinApp::InitInstance()
{
    Korvex::InitDLL();
    return Application::InitInstance();
}

int COrrelinApp::ExitInstance()
{
    return Application::ExitInstance();
}
