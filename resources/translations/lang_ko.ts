<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
    <context>
        <name>MainDialog</name>
        <message>
            <source>Search Chatt Room</source>
            <translation>대화방 검색</translation>
        </message>
        <message>
            <source>PLOVEX(Chat)</source>
            <translation>PLOVEX(Chat)</translation>
        </message>
    </context>
    <context>
        <name>MqttManager</name>
        <message>
            <source>Unknown user</source>
            <translation>알 수 없는 사용자</translation>
        </message>
    </context>
    <context>
        <name>MtChatBaseItem</name>
        <message>
            <source>Read</source>
            <translation>읽음</translation>
        </message>
        <message>
            <source>Open</source>
            <translation>열기</translation>
        </message>
        <message>
            <source>Open folder</source>
            <translation>폴더 열기</translation>
        </message>
        <message>
            <source>Save</source>
            <translation>저장</translation>
        </message>
        <message>
            <source>Save as</source>
            <translation>다른 이름으로 저장</translation>
        </message>
        <message>
            <source>Sending</source>
            <translation>보내는 중</translation>
        </message>
        <message>
            <source>Error sending</source>
            <translation>보내기 실패</translation>
        </message>
        <message>
            <source>Saving</source>
            <translation>저장 중</translation>
        </message>
        <message>
            <source>Error saving</source>
            <translation>저장 실패</translation>
        </message>
    </context>
    <context>
        <name>MtChatDateItem</name>
        <message>
            <source>year</source>
            <translation>년</translation>
        </message>
        <message>
            <source>month</source>
            <translation>월</translation>
        </message>
        <message>
            <source>day</source>
            <translation>일</translation>
        </message>
    </context>
    <context>
        <name>MtImageViewer</name>
        <message>
            <source>Previous picture</source>
            <translation>이전 사진</translation>
        </message>
        <message>
            <source>Next picture</source>
            <translation>다음 사진</translation>
        </message>
    </context>
    <context>
        <name>MtSearchLineEdit</name>
        <message>
            <source>Clear</source>
            <translation>지우기</translation>
        </message>
    </context>
    <context>
        <name>QObject</name>
        <message>
            <source>PLOVEX(Chat)</source>
            <translation>PLOVEX(Chat)</translation>
        </message>
        <message>
            <source>This OS does not support system tray</source>
            <translation>이 운영체제는 시스템 트레이를 지원하지 않습니다</translation>
        </message>
    </context>
</TS>
