#pragma once
// Ids of the resources that the layers below the application look up. The application's id
// header includes this one, so each id is defined once. Plain macros, because the resource
// compiler's preprocessor reads this file too.

// The carried firmware package (type "BIN").
#define IDR_FIRMWARE 131
