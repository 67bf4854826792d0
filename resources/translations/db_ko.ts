<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
    <context>
        <name>DBChat</name>
        <message>
            <source>Picture</source>
            <translation>사진</translation>
        </message>
        <message>
            <source>Video</source>
            <translation>동영상</translation>
        </message>
        <message>
            <source>File</source>
            <translation>파일</translation>
        </message>
        <message>
            <source>%1 invited %2</source>
            <comment>the invitation notice: who invited, whom</comment>
            <translation>%1님이 %2님을 초대했습니다</translation>
        </message>
        <message>
            <source>%1 leaved</source>
            <comment>the leave notice: who left the room</comment>
            <translation>%1님이 나갔습니다</translation>
        </message>
    </context>
</TS>
