#pragma once

// Prints conf_record as the configuration report ("dconfigure").
void conf_display();
