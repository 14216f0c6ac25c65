// Platform module QOBOvrBasicUtils: the library only brings it up and takes it down.
#pragma once

void QOBOvrBasicUtils_initialize(int& count);
void QOBOvrBasicUtils_finalize(int& count);
