import QtQuick 2.7
import QtQuick.Controls 2.0

// The List tab: the trade list to upload, and the list query.
Item {
    property alias editListType: editListType
    property alias editListNo: editListNo
    property alias editKeyServiceNo: editKeyServiceNo
    property alias editTradeType: editTradeType
    property alias editTermCode: editTermCode
    property alias editTermTradeNo: editTermTradeNo
    property alias editCardTradeNo: editCardTradeNo
    property alias editTac: editTac
    property alias editOBUID: editOBUID
    property alias editOBUNO: editOBUNO
    property alias editCardNo: editCardNo
    property alias editCashMoney: editCashMoney
    property alias editBalance: editBalance
    property alias editTradeDevice: editTradeDevice
    property alias editVehPicture: editVehPicture
    property alias editVehPictureLen: editVehPictureLen
    property alias editSquadDate: editSquadDate
    property alias editShiftID: editShiftID
    property alias editExTime: editExTime
    property alias editEnTime: editEnTime
    property alias editExOperatorNo: editExOperatorNo
    property alias editEnOperatorNo: editEnOperatorNo
    property alias editExAreaNo: editExAreaNo
    property alias editEnAreaNo: editEnAreaNo
    property alias editExGateNo: editExGateNo
    property alias editEnGateNo: editEnGateNo
    property alias editExLaneNo: editExLaneNo
    property alias editEnLaneNo: editEnLaneNo
    property alias editExVehPlate: editExVehPlate
    property alias editEnVehPlate: editEnVehPlate
    property alias editExVehType: editExVehType
    property alias editEnVehType: editEnVehType
    property alias editExVehClass: editExVehClass
    property alias editEnVehClass: editEnVehClass
    property alias btnUpload: btnUpload
    property alias btnQuery: btnQuery

    Grid {
        anchors.fill: parent
        columns: 4
        columnSpacing: 1
        rowSpacing: 3

        MyText { text: "ListType" }
        MyTextField { id: editListType }
        MyText { text: "ListNo" }
        MyTextField { id: editListNo }
        MyText { text: "KeyServiceNo" }
        MyTextField { id: editKeyServiceNo }
        MyText { text: "TradeType" }
        MyTextField { id: editTradeType }
        MyText { text: "TermCode" }
        MyTextField { id: editTermCode }
        MyText { text: "TermTradeNo" }
        MyTextField { id: editTermTradeNo }
        MyText { text: "CardTradeNo" }
        MyTextField { id: editCardTradeNo }
        MyText { text: "Tac" }
        MyTextField { id: editTac }
        MyText { text: "OBUID" }
        MyTextField { id: editOBUID }
        MyText { text: "OBUNO" }
        MyTextField { id: editOBUNO }
        MyText { text: "CardNo" }
        MyTextField { id: editCardNo }
        MyText { text: "CashMoney" }
        MyTextField { id: editCashMoney }
        MyText { text: "Balance" }
        MyTextField { id: editBalance }
        MyText { text: "TradeDevice" }
        MyTextField { id: editTradeDevice }
        MyText { text: "VehPicture" }
        MyTextField { id: editVehPicture }
        MyText { text: "VehPictureLen" }
        MyTextField { id: editVehPictureLen }
        MyText { text: "SquadDate" }
        MyTextField { id: editSquadDate; text: "20161208" }
        MyText { text: "ShiftID" }
        MyTextField { id: editShiftID; text: "01" }
        MyText { text: "ExTime" }
        MyTextField { id: editExTime }
        MyText { text: "EnTime" }
        MyTextField { id: editEnTime }
        MyText { text: "ExOperatorNo" }
        MyTextField { id: editExOperatorNo }
        MyText { text: "EnOperatorNo" }
        MyTextField { id: editEnOperatorNo }
        MyText { text: "ExAreaNo" }
        MyTextField { id: editExAreaNo }
        MyText { text: "EnAreaNo" }
        MyTextField { id: editEnAreaNo }
        MyText { text: "ExGateNo" }
        MyTextField { id: editExGateNo }
        MyText { text: "EnGateNo" }
        MyTextField { id: editEnGateNo }
        MyText { text: "ExLaneNo" }
        MyTextField { id: editExLaneNo }
        MyText { text: "EnLaneNo" }
        MyTextField { id: editEnLaneNo }
        MyText { text: "ExVehPlate" }
        MyTextField { id: editExVehPlate }
        MyText { text: "EnVehPlate" }
        MyTextField { id: editEnVehPlate }
        MyText { text: "ExVehType" }
        MyTextField { id: editExVehType }
        MyText { text: "EnVehType" }
        MyTextField { id: editEnVehType }
        MyText { text: "ExVehClass" }
        MyTextField { id: editExVehClass }
        MyText { text: "EnVehClass" }
        MyTextField { id: editEnVehClass }
        Item { width: 1; height: 1 }
        MyButton { id: btnUpload; text: "Upload"; height: 25 }
        MyButton { id: btnQuery; text: "Query"; height: 25 }
    }
}
