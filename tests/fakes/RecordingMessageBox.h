#pragma once
#include <string>
#include <vector>

#include "ui/MessageBox.h"

class CRecordingMessageBox : public IMessageBox {
public:
    std::vector<std::string> texts;
    std::vector<ESaveChoice> saveAnswers;  // answers to AskSave, in order
    std::vector<ESaveQuestion> questions;

    void MessageBox(const std::string& strText) override { texts.push_back(strText); }
    ESaveChoice AskSave(ESaveQuestion question, const std::string& strText) override
    {
        texts.push_back(strText);
        questions.push_back(question);
        const size_t n = questions.size() - 1;
        return n < saveAnswers.size() ? saveAnswers[n] : ESaveChoice::StayOpen;
    }
};
