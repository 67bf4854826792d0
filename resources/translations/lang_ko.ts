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
