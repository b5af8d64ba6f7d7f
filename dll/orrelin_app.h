// COrrelinApp: the library's application object. Its start-up readies the firmware engine.
#pragma once

#include "application_base.h"

class COrrelinApp : public orrelin::Application {
public:
    bool InitInstance() override;
    int ExitInstance() override;
};
