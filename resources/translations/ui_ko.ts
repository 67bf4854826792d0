<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
    <context>
        <name>BackAlertDialog</name>
        <message>
            <source>PLOVEX(Chat)</source>
            <translation>PLOVEX(Chat)</translation>
        </message>
    </context>
    <context>
        <name>ChatDialog</name>
        <message>
            <source>Title</source>
            <translation>제목</translation>
        </message>
        <message>
            <source>Search</source>
            <translation>검색</translation>
        </message>
        <message>
            <source>Menu</source>
            <translation>메뉴</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>취소</translation>
        </message>
        <message>
            <source>Send a file</source>
            <translation>파일 보내기</translation>
        </message>
        <message>
            <source>Send a picture</source>
            <translation>사진 보내기</translation>
        </message>
        <message>
            <source>Send</source>
            <translation>보내기</translation>
        </message>
        <message>
            <source>Room picture</source>
            <translation>대화방 사진</translation>
        </message>
        <message>
            <source>Minimize</source>
            <translation>최소화</translation>
        </message>
        <message>
            <source>Maximize</source>
            <translation>최대화</translation>
        </message>
        <message>
            <source>Close</source>
            <translation>닫기</translation>
        </message>
        <message>
            <source>Alarm</source>
            <translation>알림</translation>
        </message>
        <message>
            <source>The pictures of the room's members</source>
            <translation>대화방 참여자들의 사진</translation>
        </message>
        <message>
            <source>Next result</source>
            <translation>다음 결과</translation>
        </message>
        <message>
            <source>Previous result</source>
            <translation>이전 결과</translation>
        </message>
        <message>
            <source>Conversation</source>
            <translation>대화 내용</translation>
        </message>
        <message>
            <source>Message</source>
            <translation>메시지</translation>
        </message>
    </context>
    <context>
        <name>ChatInviteDialog</name>
        <message>
            <source>Invite Chat</source>
            <translation>대화상대 초대</translation>
        </message>
        <message>
            <source>Chat Invites</source>
            <translation>대화상대 초대</translation>
        </message>
        <message>
            <source>OK</source>
            <translation>확인</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>취소</translation>
        </message>
        <message>
            <source>Close</source>
            <translation>닫기</translation>
        </message>
    </context>
    <context>
        <name>ChatRoomItem</name>
        <message>
            <source>Room picture</source>
            <translation>대화방 사진</translation>
        </message>
    </context>
    <context>
        <name>MainDialog</name>
        <message>
            <source>PLOVEX(Chat)</source>
            <translation>PLOVEX(Chat)</translation>
        </message>
        <message>
            <source>Minimize</source>
            <translation>최소화</translation>
        </message>
        <message>
            <source>Maximize</source>
            <translation>최대화</translation>
        </message>
        <message>
            <source>Close</source>
            <translation>닫기</translation>
        </message>
        <message>
            <source>ID</source>
            <translation>아이디</translation>
        </message>
        <message>
            <source>Password</source>
            <translation>비밀번호</translation>
        </message>
        <message>
            <source>Login</source>
            <translation>로그인</translation>
        </message>
        <message>
            <source>AutoLogin</source>
            <translation>자동 로그인</translation>
        </message>
        <message>
            <source>Ready</source>
            <translation>준비</translation>
        </message>
        <message>
            <source>Alarm</source>
            <translation>알림</translation>
        </message>
        <message>
            <source>Menu</source>
            <translation>메뉴</translation>
        </message>
        <message>
            <source>Unlock</source>
            <translation>잠금 해제</translation>
        </message>
        <message>
            <source>Logout</source>
            <translation>로그아웃</translation>
        </message>
        <message>
            <source>Account</source>
            <translation>계정</translation>
        </message>
        <message>
            <source>Chat rooms</source>
            <translation>대화방 목록</translation>
        </message>
        <message>
            <source>Locked</source>
            <translation>잠김</translation>
        </message>
    </context>
    <context>
        <name>MembersDialog</name>
        <message>
            <source>Dialog</source>
            <translation>대화상대</translation>
        </message>
        <message>
            <source>Members</source>
            <translation>대화상대</translation>
        </message>
        <message>
            <source>Close</source>
            <translation>닫기</translation>
        </message>
    </context>
    <context>
        <name>MtChatItem</name>
        <message>
            <source>View all</source>
            <translation>전체 보기</translation>
        </message>
    </context>
    <context>
        <name>MtImageViewer</name>
        <message>
            <source>Picture</source>
            <translation>사진</translation>
        </message>
        <message>
            <source>Minimize</source>
            <translation>최소화</translation>
        </message>
        <message>
            <source>Maximize</source>
            <translation>최대화</translation>
        </message>
        <message>
            <source>Close</source>
            <translation>닫기</translation>
        </message>
        <message>
            <source>Failed load image.</source>
            <translation>이미지를 불러오지 못했습니다.</translation>
        </message>
        <message>
            <source>Previous picture</source>
            <translation>이전 사진</translation>
        </message>
        <message>
            <source>Next picture</source>
            <translation>다음 사진</translation>
        </message>
        <message>
            <source>Zoom out</source>
            <translation>축소</translation>
        </message>
        <message>
            <source>Zoom in</source>
            <translation>확대</translation>
        </message>
        <message>
            <source>Save</source>
            <translation>저장</translation>
        </message>
        <message>
            <source>Scroll left</source>
            <translation>왼쪽으로 넘기기</translation>
        </message>
        <message>
            <source>Scroll right</source>
            <translation>오른쪽으로 넘기기</translation>
        </message>
    </context>
    <context>
        <name>MtMessageDialog</name>
        <message>
            <source>Test</source>
            <translation>테스트</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>취소</translation>
        </message>
        <message>
            <source>OK</source>
            <translation>확인</translation>
        </message>
    </context>
    <context>
        <name>MtMyChatFileItem</name>
        <message>
            <source>Send again</source>
            <translation>다시 보내기</translation>
        </message>
    </context>
    <context>
        <name>MtMyChatImageItem</name>
        <message>
            <source>Send again</source>
            <translation>다시 보내기</translation>
        </message>
    </context>
    <context>
        <name>MtMyChatItem</name>
        <message>
            <source>Send again</source>
            <translation>다시 보내기</translation>
        </message>
        <message>
            <source>View all</source>
            <translation>전체 보기</translation>
        </message>
    </context>
    <context>
        <name>MtTextViewer</name>
        <message>
            <source>Close</source>
            <translation>닫기</translation>
        </message>
        <message>
            <source>Save</source>
            <translation>저장</translation>
        </message>
    </context>
    <context>
        <name>ToastChatMessage</name>
        <message>
            <source>Keep shown</source>
            <translation>계속 표시</translation>
        </message>
        <message>
            <source>Close</source>
            <translation>닫기</translation>
        </message>
    </context>
    <context>
        <name>UpgradeDialog</name>
        <message>
            <source>Update</source>
            <translation>업데이트</translation>
        </message>
        <message>
            <source>Downloading the latest version...</source>
            <translation>최신 버전을 내려받는 중...</translation>
        </message>
    </context>
</TS>
