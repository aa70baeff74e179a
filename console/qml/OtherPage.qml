import QtQuick 2.7
import QtQuick.Controls 2.0

// The Other tab: black list, status, non-cash payment and the load test.
Item {
    property alias editBlackCardNo: editBlackCardNo
    property alias editOBUNO: editOBUNO
    property alias editOBUID: editOBUID
    property alias editCardFirTime: editCardFirTime
    property alias editOBUFirTime: editOBUFirTime
    property alias btnBlackListQuery: btnBlackListQuery
    property alias btnETCStatusQuery: btnETCStatusQuery
    property alias editReaderID: editReaderID
    property alias editScannerID: editScannerID
    property alias editNonCashTsSn: editNonCashTsSn
    property alias editCashMoney: editCashMoney
    property alias editNonCashCardNo: editNonCashCardNo
    property alias editRequestTime: editRequestTime
    property alias editVehPlate: editVehPlate
    property alias editChargeType: editChargeType
    property alias editChargeDetail: editChargeDetail
    property alias editTimeout: editTimeout
    property alias editPage: editPage
    property alias editPageSize: editPageSize
    property alias btnSendNonCashPay: btnSendNonCashPay
    property alias btnStopNonCashPay: btnStopNonCashPay
    property alias btnQueryTransDetail: btnQueryTransDetail
    property alias editReaderLog: editReaderLog
    property alias editRSULog: editRSULog
    property alias editReaderInterval: editReaderInterval
    property alias editRSUInterval: editRSUInterval
    property alias swtReaderWrite: swtReaderWrite
    property alias swtReaderUpLoad: swtReaderUpLoad
    property alias swtRSUWrite: swtRSUWrite
    property alias swtRSUUpLoad: swtRSUUpLoad
    property alias swtReaderOnOff: swtReaderOnOff
    property alias swtRSUOnOff: swtRSUOnOff

    Grid {
        anchors.fill: parent
        columns: 4
        columnSpacing: 1
        rowSpacing: 3

        MyText { text: "BlackList"; font.bold: true; horizontalAlignment: Text.AlignLeft; leftPadding: 10 }
        Item { width: 1; height: 1 }
        Item { width: 1; height: 1 }
        Item { width: 1; height: 1 }
        MyText { text: "CardNo" }
        MyTextField { id: editBlackCardNo }
        MyText { text: "OBUNO" }
        MyTextField { id: editOBUNO }
        MyText { text: "OBUID" }
        MyTextField { id: editOBUID }
        MyText { text: "CardFirTime" }
        MyTextField { id: editCardFirTime }
        MyText { text: "OBUFirTime" }
        MyTextField { id: editOBUFirTime }
        Item { width: 1; height: 1 }
        MyButton { id: btnBlackListQuery; text: "BlackListQuery"; height: 25 }
        MyButton { id: btnETCStatusQuery; text: "ETCStatusQuery"; height: 25 }
        Item { width: 1; height: 1 }
        Item { width: 1; height: 1 }
        Item { width: 1; height: 1 }
        MyText { text: "NonCash"; font.bold: true; horizontalAlignment: Text.AlignLeft; leftPadding: 10 }
        Item { width: 1; height: 1 }
        Item { width: 1; height: 1 }
        Item { width: 1; height: 1 }
        MyText { text: "ReaderID" }
        MyTextField { id: editReaderID; text: "0"; enabled: false }
        MyText { text: "ScannerID" }
        MyTextField { id: editScannerID; text: "0" }
        MyText { text: "NonCashTsSn" }
        MyTextField { id: editNonCashTsSn }
        MyText { text: "CashMoney" }
        MyTextField { id: editCashMoney; text: "1" }
        MyText { text: "CardNo" }
        MyTextField { id: editNonCashCardNo }
        MyText { text: "RequestTime" }
        MyTextField { id: editRequestTime }
        MyText { text: "VehPlate" }
        MyTextField { id: editVehPlate }
        MyText { text: "ChargeType" }
        MyTextField { id: editChargeType; text: "1" }
        MyText { text: "ChargeDetail" }
        MyTextField { id: editChargeDetail }
        MyText { text: "Timeout" }
        MyTextField { id: editTimeout; text: "60000" }
        MyText { text: "Page" }
        MyTextField { id: editPage; text: "1" }
        MyText { text: "PageSize" }
        MyTextField { id: editPageSize; text: "50" }
        Item { width: 1; height: 1 }
        MyButton { id: btnSendNonCashPay; text: "SendNonCashPay"; height: 25 }
        MyButton { id: btnStopNonCashPay; text: "StopNonCashPay"; height: 25 }
        MyButton { id: btnQueryTransDetail; text: "QueryTransDetail"; height: 25 }
        MyText { text: "Pressure Test"; font.bold: true; horizontalAlignment: Text.AlignLeft; leftPadding: 10 }
        Item { width: 1; height: 1 }
        Item { width: 1; height: 1 }
        Item { width: 1; height: 1 }
        MyText { text: "ReaderLog" }
        MyTextField { id: editReaderLog; text: "card.txt" }
        MyText { text: "RSULog" }
        MyTextField { id: editRSULog; text: "rsu.txt" }
        MyText { text: "ReaderInterval" }
        MyTextField { id: editReaderInterval; text: "3000" }
        MyText { text: "RSUInterval" }
        MyTextField { id: editRSUInterval; text: "3000" }
        Switch { id: swtReaderWrite; text: "Write"; height: 25; checked: true }
        Switch { id: swtReaderUpLoad; text: "UpLoad"; height: 25; checked: false }
        Switch { id: swtRSUWrite; text: "Write"; height: 25; checked: true }
        Switch { id: swtRSUUpLoad; text: "UpLoad"; height: 25; checked: false }
        MyText { text: "Reader ON/OFF" }
        Switch { id: swtReaderOnOff; height: 25; checked: false }
        MyText { text: "RSU ON/OFF" }
        Switch { id: swtRSUOnOff; height: 25; checked: false }
    }
}
