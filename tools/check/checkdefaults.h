#pragma once

class CSettingTestItem;

// The test section of "setting.nbx" in the working directory when the file
// has a readable one, else the built-in defaults (10 threads, 20 seconds, the
// fallback test page and "engine"). Never asks the service.
void LoadTestDefaults(CSettingTestItem& settings);
