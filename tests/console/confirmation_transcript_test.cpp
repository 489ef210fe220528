#include <string>

#include "tests/support/console_texts.h"
#include "tests/support/transcript.h"

namespace {


TEST(FirmwareConfirmation, AnythingButYesKeepsTheFirmware) {
    for (const char* answer : {"n", "", "no", "No, yes", " y", "maybe"}) {
        RunResult run = run_console(std::string("firmware 3 fw.hex\n") + answer + "\n");
        EXPECT_OUTPUT(start_text() + prompt + firmware_question + firmware_kept + prompt + "\n",
                      run.out)
            << "answer '" << answer << "'";
    }
}

TEST(FirmwareConfirmation, EndOfInputAtTheQuestionAbortsAndTheNextPromptEnds) {
    RunResult run = run_console("firmware com3 fw.hex\n");
    EXPECT_OUTPUT(start_text() + prompt + firmware_question + "\n" + firmware_kept + prompt + "\n",
                  run.out);
    EXPECT_EQ(run.status, 1);
}

TEST(FirmwareConfirmation, LongAnswerIsDecidedByItsFirstCharacterAndReadWhole) {
    // Were the answer cut at 39 characters, its tail "x" would end the program
    // with status 0.
    std::string answer = std::string(60, 'n') + " x";
    RunResult run = run_console("firmware 3 fw.hex\n" + answer + "\n");
    EXPECT_OUTPUT(start_text() + prompt + firmware_question + firmware_kept + prompt + "\n",
                  run.out);
    EXPECT_EQ(run.status, 1);
}

}  // namespace
