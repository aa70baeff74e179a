import QtQuick 2.7
import QtQuick.Controls 2.0

// The Reader tab: the card reader's read and write.
Item {
    property alias editCardNo: editCardNo
    property alias editCashMoney: editCashMoney
    property alias editCardAreaNo: editCardAreaNo
    property alias editCardGateNo: editCardGateNo
    property alias editCardLaneNo: editCardLaneNo
    property alias editPassTime: editPassTime
    property alias editVehPlate: editVehPlate
    property alias editVehType: editVehType
    property alias editVehClass: editVehClass
    property alias editOutFlag: editOutFlag
    property alias editOperatorNo: editOperatorNo
    property alias editTimeOut: editTimeOut
    property alias editLittleGateNo: editLittleGateNo
    property alias editLittleLaneNo: editLittleLaneNo
    property alias editLittlePassTime: editLittlePassTime
    property alias editLittleCashMoney: editLittleCashMoney
    property alias editLittleTime: editLittleTime
    property alias editOfferType: editOfferType
    property alias editOfferTime: editOfferTime
    property alias editBackUp: editBackUp
    property alias editCheckCode: editCheckCode
    property alias editRelyServiceNo: editRelyServiceNo
    property alias swtGD: swtGD
    property alias editReaderID: editReaderID
    property alias btnOpen: btnOpen
    property alias btnClose: btnClose
    property alias btnSearch: btnSearch
    property alias btnRead: btnRead
    property alias btnWrite: btnWrite
    property alias btnTransProve: btnTransProve

    Grid {
        anchors.fill: parent
        columns: 4
        columnSpacing: 1
        rowSpacing: 3

        MyText { text: "CardNo" }
        MyTextField { id: editCardNo }
        Item { width: 1; height: 1 }
        Item { width: 1; height: 1 }
        MyText { text: "CashMoney" }
        MyTextField { id: editCashMoney; text: "1" }
        MyText { text: "CardAreaNo" }
        MyTextField { id: editCardAreaNo }
        MyText { text: "CardGateNo" }
        MyTextField { id: editCardGateNo }
        MyText { text: "CardLaneNo" }
        MyTextField { id: editCardLaneNo }
        MyText { text: "PassTime" }
        MyTextField { id: editPassTime }
        MyText { text: "VehPlate" }
        MyTextField { id: editVehPlate }
        MyText { text: "VehType" }
        MyTextField { id: editVehType }
        MyText { text: "VehClass" }
        MyTextField { id: editVehClass }
        MyText { text: "OutFlag" }
        MyTextField { id: editOutFlag }
        MyText { text: "OperatorNo" }
        MyTextField { id: editOperatorNo }
        MyText { text: "TimeOut" }
        MyTextField { id: editTimeOut; text: "500" }
        MyText { text: "LittleGateNo" }
        MyTextField { id: editLittleGateNo }
        MyText { text: "LittleLaneNo" }
        MyTextField { id: editLittleLaneNo }
        MyText { text: "LittlePassTime" }
        MyTextField { id: editLittlePassTime }
        MyText { text: "LittleCashMoney" }
        MyTextField { id: editLittleCashMoney }
        MyText { text: "LittleTime" }
        MyTextField { id: editLittleTime }
        MyText { text: "OfferType" }
        MyTextField { id: editOfferType }
        MyText { text: "OfferTime" }
        MyTextField { id: editOfferTime }
        MyText { text: "BackUp" }
        MyTextField { id: editBackUp; enabled: false }
        MyText { text: "CheckCode" }
        MyTextField { id: editCheckCode }
        MyText { text: "RelyServiceNo" }
        MyTextField { id: editRelyServiceNo; enabled: false }
        Switch { id: swtGD; text: "GD"; height: 25; checked: true; enabled: false }
        MyTextField { id: editReaderID; text: "0"; placeholderText: "ReaderID"; enabled: false }
        MyButton { id: btnOpen; text: "Open"; height: 25; enabled: false }
        MyButton { id: btnClose; text: "Close"; height: 25; enabled: false }
        Item { width: 1; height: 1 }
        Item { width: 1; height: 1 }
        MyButton { id: btnSearch; text: "Search"; height: 25; enabled: false }
        MyButton { id: btnRead; text: "Read"; height: 25 }
        MyButton { id: btnWrite; text: "Write"; height: 25 }
        MyButton { id: btnTransProve; text: "TransProve"; height: 25; enabled: false }
    }
}
