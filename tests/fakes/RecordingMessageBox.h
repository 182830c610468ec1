#pragma once
#include <string>
#include <vector>

#include "ui/MessageBox.h"

class CRecordingMessageBox : public IMessageBox {
public:
    std::vector<std::string> texts;
    std::vector<ESaveChoice> saveAnswers;  // answers to AskSaveFailed, in order
    int nSaveQuestions = 0;

    void MessageBox(const std::string& strText) override { texts.push_back(strText); }
    ESaveChoice AskSaveFailed(const std::string& strText) override
    {
        texts.push_back(strText);
        const size_t n = static_cast<size_t>(nSaveQuestions++);
        return n < saveAnswers.size() ? saveAnswers[n] : ESaveChoice::StayOpen;
    }
};
