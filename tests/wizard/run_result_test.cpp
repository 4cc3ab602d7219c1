#include "wizard/run_result.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

#include "wizard/maintenance.h"
#include "wizard/text_ids.h"

namespace {

// The medium's English texts by id, as its PO file holds them.
std::map<int, std::string> englishTexts() {
    std::ifstream po(WIZARD_TEST_DIR "/../../medium/po/en_US.po");
    std::map<int, std::string> texts;
    std::string line;
    int id = -1;
    bool inMsgstr = false;
    while (std::getline(po, line)) {
        if (line.rfind("msgctxt \"", 0) == 0) {
            id = std::stoi(line.substr(9));
            inMsgstr = false;
        } else if (line.rfind("msgstr ", 0) == 0) {
            inMsgstr = true;
            line = line.substr(7);
        } else if (line.empty() || line[0] != '"') {
            inMsgstr = false;
        }
        if (inMsgstr && id >= 0 && line.size() >= 2 && line[0] == '"')
            texts[id] += line.substr(1, line.size() - 2);
    }
    return texts;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// How each run ends: the status, the proxy notice, and words that name the action run
// (their stem) and no other maintenance action.
TEST(RunResult, StatusNoticeAndWordsPerAction) {
    struct Case {
        Action action;
        bool succeeded, restart, nothingSelected;
        ErrorKind reason;
        int status;
        bool proxyNotice;
        const char* stem;  // null: the words are not the action's (the key not trusted)
    } cases[] = {
        {Action::Install, true, false, false, ErrorKind::None, ExitInstalled, true, "install"},
        {Action::Install, true, true, false, ErrorKind::None, ExitRestartNeeded, true, "install"},
        {Action::Install, false, false, false, ErrorKind::None, ExitInstallFailed, false,
         "install"},
        {Action::Install, false, false, false, ErrorKind::KeyNotTrusted, ExitRefused, false,
         nullptr},
        {Action::Install, false, false, true, ErrorKind::None, ExitInstalled, false, nullptr},
        {Action::Repair, true, false, false, ErrorKind::None, ExitInstalled, true, "repair"},
        {Action::Repair, false, false, false, ErrorKind::None, ExitInstallFailed, false, "repair"},
        {Action::Modify, true, false, false, ErrorKind::None, ExitInstalled, true, "chang"},
        {Action::Modify, false, false, false, ErrorKind::CheckRefused, ExitRefused, false, "chang"},
        {Action::Remove, true, false, false, ErrorKind::None, ExitInstalled, false, "remov"},
        {Action::Remove, false, false, false, ErrorKind::None, ExitInstallFailed, false, "remov"},
        {Action::Remove, false, false, false, ErrorKind::Locked, ExitInstallRunning, false,
         "remov"},
    };
    const std::map<int, std::string> texts = englishTexts();
    ASSERT_FALSE(texts.empty());
    const char* const stems[] = {"install", "repair", "chang", "remov"};
    for (const Case& c : cases) {
        RunFacts facts;
        facts.action = c.action;
        facts.succeeded = c.succeeded;
        facts.restartNeeded = c.restart;
        facts.nothingSelected = c.nothingSelected;
        facts.reasonKind = c.reason;
        if (c.reason != ErrorKind::None)
            facts.reason = AnotherInstallRunningId;
        facts.webServer = true;
        const RunResult result = runResult(facts);
        const std::string what = std::string(actionName(c.action)) + " " +
                                 (c.succeeded ? "succeeded" : "failed") + " " +
                                 errorKindName(c.reason);
        EXPECT_EQ(result.status, c.status) << what;
        EXPECT_EQ(result.proxyNotice, c.proxyNotice) << what;
        EXPECT_EQ(result.succeeded, c.succeeded || c.nothingSelected) << what;
        if (!c.stem)
            continue;
        const ActionWords& words = actionWords(c.action);
        std::vector<ResourceID_C> shown = {
            result.runTitle,   result.runNote,           result.finishText, result.resultLine,
            words.reviewIntro, words.consoleReviewIntro, words.startKey,    words.runNote};
        // An install's heading is the medium's "Current settings:".
        if (c.action != Action::Install)
            shown.push_back(words.reviewHeading);
        for (ResourceID_C id : shown) {
            ASSERT_TRUE(texts.count(id)) << what << ": no text " << id;
            const std::string text = lower(texts.at(id));
            EXPECT_NE(text.find(c.stem), std::string::npos) << what << ": " << text;
            // The medium's install texts may speak of changing settings; a repair's of
            // installed software.
            if (c.action == Action::Install)
                continue;
            for (const char* other : stems) {
                if (std::string(other) == c.stem || std::string(other) == "install")
                    continue;
                EXPECT_EQ(text.find(other), std::string::npos) << what << ": " << text;
            }
        }
    }
}

}  // namespace
